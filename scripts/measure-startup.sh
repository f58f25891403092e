#!/usr/bin/env bash
# Start-up to the first drawn frame: starts the analyzer N times (default 10) under Xvfb with a
# private sound server and empty hives (no ASIO drivers to probe, default settings) and prints
# each time and the median. Usage: measure-startup.sh [program] [runs]; the program defaults
# to the build's. Timing only: nothing here passes or fails on the figures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-${SPECTRINO_BUILD_DIR:-$root/build}/bin/spectrino}")
runs=${2:-10}

# shellcheck source=scripts/services.sh
source "$root/scripts/services.sh"
start_services
trap stop_services EXIT
export SPECTRINO_REGISTRY_DIR
SPECTRINO_REGISTRY_DIR=$(mktemp -d "$XDG_RUNTIME_DIR/registry.XXXXXX")

times=()
for i in $(seq "$runs"); do
    rm -f "$SPECTRINO_REGISTRY_DIR"/*
    line=$(cd / && SPECTRINO_STARTUP_PROBE=1 timeout 20 "$program" 2>/dev/null |
        grep "^first frame after")
    ms=${line//[^0-9]/}
    echo "start $i: $ms ms"
    times+=("$ms")
done
median=$(printf '%s\n' "${times[@]}" | sort -n |
    awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
echo "median start-up to first frame: $median ms over $runs starts"
