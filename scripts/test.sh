#!/usr/bin/env bash
# Installs what is missing, checks that it covers every program the scripts and tests start,
# builds and runs the whole test suite. The tests that need a sound
# server or a display get their own PulseAudio daemon (null sink) and Xvfb, stopped afterwards;
# those labelled "pipewire" run again on PipeWire.
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

# The suites that reach the sound server only through the PulseAudio protocol (capture on the
# null sink's monitor, the meter's live capture, a server restart), once more on PipeWire, the
# default sound server of current desktops.
SPECTRINO_SOUND_SERVER=pipewire start_services
ctest --test-dir "$build" --output-on-failure -j2 --timeout 600 -L pipewire
# The JACK driver's suite on PipeWire's JACK server (pipewire-jack's libjack); its restart test
# stops and starts the whole sound server.
restart=". '$root/scripts/services.sh' &&"
SPECTRINO_JACK_EXTERNAL=1 LD_LIBRARY_PATH=$SPECTRINO_PIPEWIRE_JACK_LIBS \
    SPECTRINO_JACK_STOP_COMMAND="$restart stop_sound_server" \
    SPECTRINO_JACK_START_COMMAND="$restart start_sound_server" \
    ctest --test-dir "$build" --output-on-failure --timeout 600 -R "^jack_e2e_test$"
stop_services
trap - EXIT

SPECTRINO_BUILD_DIR=$build "$root/scripts/e2e-install.sh"
