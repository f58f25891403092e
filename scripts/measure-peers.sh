#!/usr/bin/env bash
# Live cost side by side: the analyzer on the monitor of the test sink (a tone playing into it)
# and on the test-signal driver, japa and jaaa on one JACK dummy server fed a tone, and a bare
# Qt window with a menu bar and one that only repaints the plot area every 80 ms (with and
# without a thread waking at the block rate) as the floors; all under Xvfb at the same time. The
# analyzer on its JACK driver ("In 1 / In 2 [Spectrino JACK]") joins when that driver is
# registered. Each round starts everything afresh, waits out a warm-up and then measures
# processor time over wall time (share of one core) and private dirty memory (pages the
# process wrote itself). Prints the median of the rounds and their range as a table.
# Usage: measure-peers.sh [build dir]; SPECTRINO_PEERS_ROUNDS (2), SPECTRINO_PEERS_SECONDS (25),
# SPECTRINO_PLAYER_LATENCY_MS (50). Timing only, no pass or fail.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-${SPECTRINO_BUILD_DIR:-$root/build}}")
rounds=${SPECTRINO_PEERS_ROUNDS:-2}
seconds=${SPECTRINO_PEERS_SECONDS:-25}
latency=${SPECTRINO_PLAYER_LATENCY_MS:-50}
warmup=5
jack_period=1024
jack_rate=44100

# The peers and their server come with this measurement only.
"$root/scripts/install-deps.sh" japa jaaa jackd2

# shellcheck source=scripts/measure-lib.sh
source "$root/scripts/measure-lib.sh"
require_built "$build" spectrino spectrino-reg bare_qt_window repaint_floor

# shellcheck source=scripts/services.sh
source "$root/scripts/services.sh"
start_services
work=$(mktemp -d "$XDG_RUNTIME_DIR/peers.XXXXXX")

# A JACK server of our own name, so that others on the machine keep theirs. The name is fixed:
# JACK keeps a few server slots for the whole machine, and a slot left behind by a server that
# did not end cleanly is taken back only by a server of the same name.
export JACK_DEFAULT_SERVER=spectrino-peers
jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r "$jack_rate" -p "$jack_period" \
    >"$work/jackd.log" 2>&1 &
jackd_pid=$!
# The server ends last, once its clients are gone, and is waited for: it gives its slot back
# as it ends.
cleanup() {
    end_tracked
    kill "$jackd_pid" 2>/dev/null || true
    wait "$jackd_pid" 2>/dev/null || true
    stop_services
}
trap cleanup EXIT
for _ in $(seq 100); do
    jack_lsp >/dev/null 2>&1 && break
    sleep 0.1
done
jack_lsp >/dev/null 2>&1 || { cat "$work/jackd.log" >&2; exit 1; }

# The machine hive is the build's (it registers the drivers); each analyzer gets a user hive
# of its own through XDG_CONFIG_HOME.
unset SPECTRINO_REGISTRY_DIR
reg=$build/bin/spectrino-reg
settings='Software\Spectrino Project\Spectrino'
jack_pair="In 1 / In 2 [Spectrino JACK]"

rows=("Spectrino on \"Monitor of TestSink\" (PulseAudio, ${latency} ms player)|spectrino|Monitor of TestSink"
    "Spectrino on \"In 1 / In 2 [Spectrino Test Signal]\" (512-frame blocks)|spectrino|In 1 / In 2 [Spectrino Test Signal]")
jack_note=""
if "$reg" get HKLM 'software\asio\Spectrino JACK' clsid >/dev/null 2>&1; then
    rows+=("Spectrino on \"$jack_pair\" (JACK dummy server, $jack_period frames)|spectrino|$jack_pair")
else
    jack_note="Spectrino JACK: skipped, the driver is not registered in $("$reg" path HKLM)"
fi
rows+=("japa -J (JACK dummy server, $jack_period frames)|japa|"
    "jaaa -J (same server; one FFT per frame, not like for like)|jaaa|"
    "a bare Qt 6 window with a menu bar (the toolkit's floor)|bare|"
    "a Qt 6 window repainting the plot area every 80 ms (the floor of a live display)|floor|"
    "the same plus a thread waking every 512 frames (the floor of the test-signal path)|floor|512")

# The tone on both servers, for longer than all rounds take.
total=$((rounds * (seconds + warmup + 15) + 10))
sox -q -n -t raw -r 44100 -e signed -b 16 -c 2 - synth "$total" sine 1000 vol 0.1 |
    pacat --playback --device=test --format=s16le --rate=44100 --channels=2 \
        --latency-msec="$latency" 2>/dev/null &
track_pid "$!"
jack_metro -n peers_tone -f 1000 -b 60 -D 990 -A 0.1 >/dev/null 2>&1 &
track_pid "$!"

# Feeds the JACK tone to every input port of the clients whose names match $1.
connect_tone() {
    local source port
    source=$(jack_lsp | grep -m1 '^peers_tone:') || return 0
    while read -r port; do
        jack_connect "$source" "$port" 2>/dev/null || true
    done < <(jack_lsp -p | awk -v pat="$1" '
        /^[^ \t]/ { port = $0; next }
        /properties:.*input/ && port ~ pat { print port }')
}

# Starts the program of row $1 (kind $2, device $3); prints its process id.
start_row() {
    local index=$1 kind=$2 device=$3 home
    case $kind in
    spectrino)
        home=$work/home$index
        mkdir -p "$home"
        XDG_CONFIG_HOME=$home "$reg" set HKCU "$settings" Device "$device"
        XDG_CONFIG_HOME=$home "$reg" set-dword HKCU "$settings" Left 0
        XDG_CONFIG_HOME=$home "$reg" set-dword HKCU "$settings" Top 0
        (cd / && XDG_CONFIG_HOME=$home exec "$build/bin/spectrino") >"$work/app$index.log" 2>&1 &
        ;;
    japa) japa -J >"$work/app$index.log" 2>&1 & ;;
    jaaa) jaaa -J >"$work/app$index.log" 2>&1 & ;;
    bare) "$build/bin/bare_qt_window" >"$work/app$index.log" 2>&1 & ;;
    floor) "$build/bin/repaint_floor" --wake-frames "${device:-0}" >"$work/app$index.log" 2>&1 & ;;
    esac
    echo "$!"
}

declare -A cpu=() mem=() t0=() ticks0=()
for round in $(seq "$rounds"); do
    pids=()
    for i in "${!rows[@]}"; do
        IFS='|' read -r _ kind device <<<"${rows[$i]}"
        pid=$(start_row "$i" "$kind" "$device")
        pids[i]=$pid
        track_pid "$pid"
    done
    sleep 2
    connect_tone 'japa|jaaa|[Ss]pectrino'
    sleep "$warmup"
    for i in "${!rows[@]}"; do
        t0[$i]=$(now_seconds)
        ticks0[$i]=$(proc_cpu_ticks "${pids[i]}")
    done
    sleep "$seconds"
    for i in "${!rows[@]}"; do
        pid=${pids[i]}
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "measure-peers: ${rows[$i]%%|*} ended early:" >&2
            tail -5 "$work/app$i.log" >&2
            exit 1
        fi
        cpu[$i]+="$(cpu_percent "${ticks0[$i]}" "$(proc_cpu_ticks "$pid")" "${t0[$i]}" \
            "$(now_seconds)") "
        mem[$i]+="$(proc_private_dirty_kb "$pid") "
    done
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    echo "round $round of $rounds done" >&2
done

# Median (and range) of a list of numbers.
summary() {
    tr ' ' '\n' | grep . | sort -g | awk -v scale="$1" -v digits="$2" '
        { v[NR] = $1 / scale }
        END {
            m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            printf "%." digits "f (%." digits "f-%." digits "f)", m, v[1], v[NR]
        }'
}

load=$(cut -d' ' -f1-3 /proc/loadavg)
echo
echo "Live cost, median (range) of $rounds rounds of ${seconds} s after ${warmup} s warm-up;" \
    "load average $load on $(nproc) cores"
echo
echo "| program | CPU, % of one core | private dirty memory, MB |"
echo "|---|---|---|"
for i in "${!rows[@]}"; do
    echo "| ${rows[$i]%%|*} | $(summary 1 2 <<<"${cpu[$i]}") | $(summary 1024 1 <<<"${mem[$i]}") |"
done
[ -z "$jack_note" ] || echo "$jack_note"
