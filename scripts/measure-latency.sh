#!/usr/bin/env bash
# Tone to bar: how long a tone takes from its start to the refresh that raises its bar.
# Wave path: the analyzer reads "Monitor of TestSink" while tone_onset plays silence and then a
# 1000 Hz tone into the sink, and prints when the tone's first sample is due there. Test-signal
# driver: the driver plays its tone from its first block; the tone starts one block before the
# host hands that block over. The analyzer's latency probe (SPECTRINO_LATENCY_PROBE) prints when
# the first block with the tone reached the filter bank and when the first bar rose, all on the
# monotonic clock. Prints the median, lowest and highest of the runs in milliseconds.
# Usage: measure-latency.sh [build dir] [runs, default 5]. Timing only, no pass or fail.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-${SPECTRINO_BUILD_DIR:-$root/build}}")
runs=${2:-5}
driver_block=512 # the test-signal driver's preferred buffer size

# shellcheck source=scripts/measure-lib.sh
source "$root/scripts/measure-lib.sh"
require_built "$build" spectrino spectrino-reg tone_onset

# shellcheck source=scripts/services.sh
source "$root/scripts/services.sh"
start_services
trap stop_services EXIT
work=$(mktemp -d "$XDG_RUNTIME_DIR/latency.XXXXXX")
unset SPECTRINO_REGISTRY_DIR
export XDG_CONFIG_HOME=$work/config
reg=$build/bin/spectrino-reg

# The probe's time for $2 in log $1, in nanoseconds.
probe() { awk -v what="$2" '$1 == "latency-probe:" && $2 == what { print $NF; exit }' "$1"; }

# Starts the analyzer on device $1 with the probe, logging to $2; prints its process id.
start_analyzer() {
    "$reg" set HKCU 'Software\Spectrino Project\Spectrino' Device "$1"
    (cd / && SPECTRINO_LATENCY_PROBE=1 exec "$build/bin/spectrino") >"$2" 2>&1 &
    echo "$!"
}

# Waits until log $1 has the probe line $2, at most 10 s.
wait_probe() {
    for _ in $(seq 100); do
        [ -n "$(probe "$1" "$2")" ] && return 0
        sleep 0.1
    done
    return 1
}

wave=() wave_in=() driver=()
for run in $(seq "$runs"); do
    log=$work/wave$run.log
    app=$(start_analyzer "Monitor of TestSink" "$log")
    track_pid "$app"
    sleep 3 # capture running, sink awake
    onset=$("$build/bin/tone_onset" test 1000 3 | awk '/^tone-onset:/ { print $2 }')
    if wait_probe "$log" bar; then
        wave+=("$(awk -v a="$onset" -v b="$(probe "$log" bar)" 'BEGIN { print (b - a) / 1e6 }')")
        wave_in+=("$(awk -v a="$onset" -v b="$(probe "$log" samples)" 'BEGIN { print (b - a) / 1e6 }')")
    else
        echo "measure-latency: no bar rose on the wave path (run $run)" >&2
    fi
    kill "$app" 2>/dev/null || true

    log=$work/driver$run.log
    app=$(start_analyzer "In 1 / In 2 [Spectrino Test Signal]" "$log")
    track_pid "$app"
    if wait_probe "$log" bar; then
        driver+=("$(awk -v a="$(probe "$log" samples)" -v b="$(probe "$log" bar)" \
            -v block="$driver_block" 'BEGIN { print (b - a) / 1e6 + 1000 * block / 44100 }')")
    else
        echo "measure-latency: no bar rose on the test-signal driver (run $run)" >&2
    fi
    kill "$app" 2>/dev/null || true
    sleep 0.5
done

summary() {
    printf '%s\n' "$@" | sort -g | awk '
        { v[NR] = $1 }
        END {
            if (NR == 0) { print "no runs"; exit }
            m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            printf "%.0f ms (%.0f-%.0f, %d runs)", m, v[1], v[NR], NR
        }'
}
echo "wave path, tone in the sound server to bar: $(summary "${wave[@]}")"
echo "  of which tone in the sound server to samples in the filter bank: $(summary "${wave_in[@]}")"
echo "test-signal driver, tone in the driver to bar: $(summary "${driver[@]}")"
