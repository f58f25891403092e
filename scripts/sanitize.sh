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

# The ASIO soak runs a minute in the plain suite; half of that under the sanitizers.
export SPECTRINO_SOAK_SECONDS=${SPECTRINO_SOAK_SECONDS:-30}
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
[ -f "$root/tests/tsan.supp" ] && TSAN_OPTIONS="$TSAN_OPTIONS suppressions=$root/tests/tsan.supp"
[ -f "$root/tests/lsan.supp" ] && export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp"

# Lighter optimisation and line tables only: the sanitizers' reports need no more, and the two
# builds take a good part of the CI time.
light=(-DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"
       -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG")

SPECTRINO_BUILD_DIR=$root/build-asan "$root/scripts/build.sh" -DSPECTRINO_ASAN=ON \
    -DSPECTRINO_BUILD_BENCH=OFF "${light[@]}"
ctest --test-dir "$root/build-asan" --output-on-failure -j2 --timeout 900

# Only the threaded suites (and what they load) are built for ThreadSanitizer.
cmake -S "$root" -B "$root/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSPECTRINO_TSAN=ON -DSPECTRINO_BUILD_BENCH=OFF "${light[@]}"
# The listing also names the set-up steps the suites need (a JACK server), which are not built.
mapfile -t threaded < <(ctest --test-dir "$root/build-tsan" -N -L threads |
    sed -n 's/^ *Test *#[0-9]*: //p' |
    grep -Fxf <(cmake --build "$root/build-tsan" --target help | sed -n 's/^\([^:]*\): .*/\1/p'))
cmake --build "$root/build-tsan" -j"${SPECTRINO_JOBS:-2}" --target "${threaded[@]}"
ctest --test-dir "$root/build-tsan" --output-on-failure -j2 --timeout 900 -L threads
