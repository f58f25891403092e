#!/usr/bin/env bash
# A JACK server for tests, on the dummy backend (no sound card), under a name of its own so
# that parallel runs do not meet. Source this file and call
#     start_jack_server NAME [RATE]    stop_jack_server NAME
# or run it: scripts/jack-server.sh start|stop NAME [RATE].
# With SPECTRINO_JACK_EXTERNAL=1 a server is already there (PipeWire's, with the tests run under
# pw-jack): a test that restarts the server has stop run $SPECTRINO_JACK_STOP_COMMAND and start
# $SPECTRINO_JACK_START_COMMAND; for the test runner's own calls around the tests
# (SPECTRINO_JACK_FIXTURE set) start only waits for the server to answer and stop does nothing.

# The one place the server's command line is written.
jack_server_command() {
    echo jackd --no-realtime --name "$1" -d dummy -r "${2:-44100}" -p "${SPECTRINO_JACK_PERIOD:-1024}"
}

jack_server_pid_file() {
    echo "${TMPDIR:-/tmp}/spectrino-jack-$1.pid"
}

# Waits until the server answers, at most five seconds.
wait_for_jack_server() {
    local server=(-s "$1")
    [ -n "${SPECTRINO_JACK_EXTERNAL:-}" ] && server=()
    for _ in $(seq 50); do
        timeout 2 jack_lsp "${server[@]}" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "JACK server $1 does not answer" >&2
    return 1
}

start_jack_server() {
    local name=$1 rate=${2:-44100}
    if [ -n "${SPECTRINO_JACK_EXTERNAL:-}" ]; then
        [ -z "${SPECTRINO_JACK_FIXTURE:-}" ] && [ -n "${SPECTRINO_JACK_START_COMMAND:-}" ] &&
            eval "$SPECTRINO_JACK_START_COMMAND"
        wait_for_jack_server "$name"
        return
    fi
    stop_jack_server "$name"
    # No D-Bus reservation of sound devices: the dummy backend has none, and tests have no bus.
    JACK_NO_AUDIO_RESERVATION=1 setsid $(jack_server_command "$name" "$rate") \
        >"${TMPDIR:-/tmp}/spectrino-jack-$name.log" 2>&1 </dev/null &
    echo $! >"$(jack_server_pid_file "$name")"
    wait_for_jack_server "$name"
}

stop_jack_server() {
    local name=$1 file pid
    if [ -n "${SPECTRINO_JACK_EXTERNAL:-}" ]; then
        [ -z "${SPECTRINO_JACK_FIXTURE:-}" ] && [ -n "${SPECTRINO_JACK_STOP_COMMAND:-}" ] &&
            eval "$SPECTRINO_JACK_STOP_COMMAND"
        return 0
    fi
    file=$(jack_server_pid_file "$name")
    [ -f "$file" ] || return 0
    pid=$(cat "$file")
    rm -f "$file"
    # Asked to end, so that it leaves JACK's table of servers, which holds only eight; one
    # that does not end in five seconds is killed and its entry stays until the name is used
    # again.
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    return 0
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    case "${1:-}" in
    start) start_jack_server "$2" "${3:-44100}" ;;
    stop) stop_jack_server "$2" ;;
    *)
        echo "usage: $0 start|stop NAME [RATE]" >&2
        exit 2
        ;;
    esac
fi
