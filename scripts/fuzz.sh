#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (in build-fuzz/, with AddressSanitizer and UBSan) and
# runs each for a bounded time, side by side: $SPECTRINO_FUZZ_SECONDS, default 60. New inputs
# go to build-fuzz/; the checked-in corpora are only read. Fails on the first crash.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz
seconds=${SPECTRINO_FUZZ_SECONDS:-60}
"$root/scripts/install-deps.sh" clang

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSPECTRINO_BUILD_BENCH=OFF >/dev/null
targets=(hive_fuzzer:platform/hive_corpus wav_fuzzer:meter/wav_corpus)
cmake --build "$build" -j"${SPECTRINO_JOBS:-2}" --target "${targets[@]%%:*}"

pids=()
for entry in "${targets[@]}"; do
    name=${entry%%:*}
    corpus=${entry#*:}
    mkdir -p "$build/tests/$corpus"
    (cd "$build" && exec "bin/$name" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
        "$build/tests/$corpus" "$root/tests/$corpus" >"$build/$name.log" 2>&1) &
    pids+=($!)
done
failed=0
for i in "${!pids[@]}"; do
    name=${targets[$i]%%:*}
    if wait "${pids[$i]}"; then
        echo "$name: $(grep -m1 'stat::number_of_executed_units' "$build/$name.log" |
            awk '{ print $2 }') runs in $seconds s, no failure"
    else
        echo "$name: FAILED, see $build/$name.log" >&2
        tail -40 "$build/$name.log" >&2
        failed=1
    fi
done
exit $failed
