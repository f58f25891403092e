#!/usr/bin/env bash
# Builds and runs the suite under AddressSanitizer with UBSan (every test), then under
# ThreadSanitizer (the suites labelled "threads"). Uses build-asan/ and build-tsan/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

# shellcheck source=scripts/services.sh
source "$root/scripts/services.sh"
start_services
trap stop_services EXIT

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
[ -f "$root/tests/tsan.supp" ] && TSAN_OPTIONS="$TSAN_OPTIONS suppressions=$root/tests/tsan.supp"
[ -f "$root/tests/lsan.supp" ] && export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp"

SPECTRINO_BUILD_DIR=$root/build-asan "$root/scripts/build.sh" -DSPECTRINO_ASAN=ON \
    -DSPECTRINO_BUILD_BENCH=OFF
ctest --test-dir "$root/build-asan" --output-on-failure -j2 --timeout 900

SPECTRINO_BUILD_DIR=$root/build-tsan "$root/scripts/build.sh" -DSPECTRINO_TSAN=ON \
    -DSPECTRINO_BUILD_BENCH=OFF
ctest --test-dir "$root/build-tsan" --output-on-failure -j2 --timeout 900 -L threads
