#!/usr/bin/env bash
# Steady live capture of the Windows program under Wine, beside scripts/measure-usage.sh: the
# analyzer shows the monitor of the test sink through Wine's sound driver while a 1000 Hz tone
# plays into it; after a settling time it prints the processor time of spectrino.exe and of the
# wineserver over the measuring window as shares of one core, and the program's resident memory.
# Usage: measure-usage-windows.sh [seconds, default 60]; uses the Windows build
# ($SPECTRINO_WINDOWS_BUILD_DIR, default build-win). Timing only, no pass or fail.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
winbuild=${SPECTRINO_WINDOWS_BUILD_DIR:-$root/build-win}
seconds=${1:-60}
latency=${SPECTRINO_PLAYER_LATENCY_MS:-20}
settle=10
wine=/usr/lib/wine/wine64

# shellcheck source=scripts/services.sh
source "$root/scripts/services.sh"
start_services
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX=$(mktemp -d /tmp/spectrino-wine-usage.XXXXXX)
cleanup() {
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    stop_services
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
"$wine" wineboot --init >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Spectrino Project\Spectrino' /v Device /t REG_SZ \
    /d "Monitor of TestSink" /f >/dev/null 2>&1

sox -q -n -t raw -r 44100 -e signed -b 16 -c 2 - synth $((seconds + settle + 10)) sine 1000 \
    vol 0.1 | pacat --playback --device=test --format=s16le --rate=44100 --channels=2 \
    --latency-msec="$latency" 2>/dev/null &
track_pid $!
(cd "$winbuild/bin" && exec "$wine" spectrino.exe) >/dev/null 2>&1 &
track_pid $!
sleep "$settle"
app=$(pgrep -f 'spectrino\.exe' | head -1)
server=$(pgrep -f 'wine/wineserver' | head -1)
[ -n "$app" ] && [ -n "$server" ] || { echo "spectrino.exe is not running" >&2; exit 1; }

# utime and stime: fields 14 and 15 of /proc/PID/stat, after the parenthesised name.
cpu_ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }
a0=$(cpu_ticks "$app")
s0=$(cpu_ticks "$server")
t0=$(date +%s.%N)
sleep "$seconds"
a1=$(cpu_ticks "$app")
s1=$(cpu_ticks "$server")
t1=$(date +%s.%N)
rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$app/status")
hwm=$(awk '/^VmHWM/ { print $2 }' "/proc/$app/status")
awk -v a0="$a0" -v a1="$a1" -v s0="$s0" -v s1="$s1" -v t0="$t0" -v t1="$t1" \
    -v hz="$(getconf CLK_TCK)" -v latency="$latency" \
    'BEGIN { printf "cpu: spectrino.exe %.2f%%, wineserver %.2f%% of one core over %.0f s of live capture (player latency %d ms)\n", \
             100 * (a1 - a0) / hz / (t1 - t0), 100 * (s1 - s0) / hz / (t1 - t0), t1 - t0, latency }'
echo "resident memory of spectrino.exe: $((rss / 1024)) MB now, $((hwm / 1024)) MB at most"
