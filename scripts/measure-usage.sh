#!/usr/bin/env bash
# Steady live capture: the analyzer shows the monitor of the test sink while a 1000 Hz tone
# plays into it; after a settling time it prints the processor time over the measuring window
# as a share of one core, and the resident memory. Usage: measure-usage.sh [program]
# [seconds, default 60]; the program defaults to the build's. Timing only, no pass or fail.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-${SPECTRINO_BUILD_DIR:-$root/build}/bin/spectrino}")
seconds=${2:-60}
# The player's buffer: the null sink, and so the monitor the analyzer reads, runs at the pace of
# its most demanding client.
latency=${SPECTRINO_PLAYER_LATENCY_MS:-20}
settle=10

# shellcheck source=scripts/services.sh
source "$root/scripts/services.sh"
# shellcheck source=scripts/measure-lib.sh
source "$root/scripts/measure-lib.sh"
start_services
trap stop_services EXIT
export SPECTRINO_REGISTRY_DIR
SPECTRINO_REGISTRY_DIR=$(mktemp -d "$XDG_RUNTIME_DIR/registry.XXXXXX")
reg=$(dirname "$program")/spectrino-reg
"$reg" set HKCU 'Software\Spectrino Project\Spectrino' Device "Monitor of TestSink"

sox -q -n -t raw -r 44100 -e signed -b 16 -c 2 - synth $((seconds + settle + 10)) sine 1000 \
    vol 0.1 | pacat --playback --device=test --format=s16le --rate=44100 --channels=2 \
    --latency-msec="$latency" 2>/dev/null &
player=$!
track_pid "$player"
(cd / && exec "$program") >/dev/null 2>&1 &
app=$!
track_pid "$app"
sleep "$settle"

start=$(proc_cpu_ticks "$app")
t0=$(now_seconds)
sleep "$seconds"
end=$(proc_cpu_ticks "$app")
t1=$(now_seconds)
rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$app/status")
hwm=$(awk '/^VmHWM/ { print $2 }' "/proc/$app/status")
printf 'cpu: %s%% of one core over %.0f s of live capture (player latency %d ms)\n' \
    "$(cpu_percent "$start" "$end" "$t0" "$t1")" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" \
    "$latency"
echo "resident memory: $((rss / 1024)) MB now, $((hwm / 1024)) MB at most"
