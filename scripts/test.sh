#!/usr/bin/env bash
# Installs what is missing, checks that it covers every program the scripts and tests start,
# builds and runs the whole test suite. The tests that need a sound
# server or a display get their own PulseAudio daemon (null sink) and Xvfb, stopped afterwards.
# Then the Debian package is checked end to end (scripts/e2e-install.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SPECTRINO_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
# Every program started below must come from a package installed above.
"$root/scripts/check-programs.sh"
"$root/scripts/build.sh"

# shellcheck source=scripts/services.sh
source "$root/scripts/services.sh"
start_services
trap stop_services EXIT

ctest --test-dir "$build" --output-on-failure -j2 --timeout 600

# The Windows build under Wine, against the same sound server; SPECTRINO_SKIP_WINDOWS=1 skips it.
if [ "${SPECTRINO_SKIP_WINDOWS:-0}" != 1 ]; then
    "$root/scripts/test-windows.sh"
fi
stop_services
trap - EXIT

SPECTRINO_BUILD_DIR=$build "$root/scripts/e2e-install.sh"
