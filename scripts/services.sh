# Sound server and display for tests; source this file, then start_services / stop_services.
# A private runtime directory keeps the test daemons apart from any user session.
#
# SPECTRINO_SOUND_SERVER picks the sound server: pulseaudio (default) or pipewire. PipeWire runs
# with its PulseAudio server (pipewire-pulse), its session manager (wireplumber, without which
# no stream is ever linked) and a session bus of its own. Either way clients find the server at
# $PULSE_SERVER, with the null sink "test" ("TestSink") as default sink and its monitor
# ("Monitor of TestSink") as default source.
#
# On PipeWire the daemon itself is the JACK server as well: a JACK client reaches it when run
# as `pw-jack PROGRAM`, or with LD_LIBRARY_PATH starting with $SPECTRINO_PIPEWIRE_JACK_LIBS
# (pipewire-jack's libjack, which is all pw-jack sets). Both work here: jack_lsp lists TestSink's
# ports, and jack_metro connected to them is heard on "Monitor of TestSink". The JACK side runs at
# 48000 Hz with 1024-frame periods (pw-jack -p FRAMES asks for others). Without either, libjack
# looks for a jackd instead.
#
# restart_sound_server stops the sound server and starts it again in place (same sockets, null
# sink loaded again); clients see their server go and come back. It also works from a child
# process, such as a test: bash -c '. scripts/services.sh && restart_sound_server'. The
# processes are therefore kept in files below the runtime directory, not in shell variables.

spectrino_state_dir() {
    echo "$XDG_RUNTIME_DIR/spectrino-services"
}

# Starts a program in the background with its output in a log of the runtime directory, and
# notes its process in the list file given. It holds no descriptor of the caller's, so a test
# that restarts the server is not kept waiting for it by whoever reads the test's output.
spectrino_spawn() {
    local list=$1 log=$2
    shift 2
    "$@" </dev/null >>"$XDG_RUNTIME_DIR/$log" 2>&1 &
    echo $! >>"$(spectrino_state_dir)/$list"
}

# Ends the processes noted in a list file and waits until they are gone (they need not be our
# children: a restart from a test leaves them to init).
spectrino_stop_listed() {
    local list pid
    list="$(spectrino_state_dir)/$1"
    [ -f "$list" ] || return 0
    while read -r pid; do
        kill "$pid" 2>/dev/null || true
    done <"$list"
    while read -r pid; do
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null || true
    done <"$list"
    rm -f "$list"
}

spectrino_wait_for_pactl() {
    for _ in $(seq 100); do
        timeout 2 pactl info >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "services: the sound server does not answer at $PULSE_SERVER" >&2
    return 1
}

spectrino_start_pulseaudio() {
    spectrino_spawn sound pa.log pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
        --use-pid-file=no --log-target=stderr \
        -L "module-native-protocol-unix auth-anonymous=1" \
        -L "module-null-sink sink_name=test sink_properties=device.description=TestSink"
    spectrino_wait_for_pactl
}

spectrino_start_pipewire() {
    # wireplumber keeps chosen defaults and stream targets below XDG_STATE_HOME; a private one
    # keeps the user's choices out of the tests and the tests' out of the user's.
    local state=$XDG_RUNTIME_DIR/state
    mkdir -p "$state"
    rm -f "$XDG_RUNTIME_DIR/pipewire-0" "$XDG_RUNTIME_DIR/pipewire-0-manager"
    spectrino_spawn sound pipewire.log pipewire
    for _ in $(seq 100); do
        [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break
        sleep 0.05
    done
    spectrino_spawn sound wireplumber.log env XDG_STATE_HOME="$state" wireplumber
    spectrino_spawn sound pipewire-pulse.log env XDG_STATE_HOME="$state" pipewire-pulse
    spectrino_wait_for_pactl || return 1
    pactl load-module module-null-sink sink_name=test \
        sink_properties=device.description=TestSink >/dev/null
    pactl set-default-sink test
    pactl set-default-source test.monitor
    # The session manager turns the choice into the default; until it has, it is not running
    # yet and no stream would be linked.
    for _ in $(seq 100); do
        [ "$(pactl get-default-source 2>/dev/null)" = test.monitor ] && return 0
        sleep 0.1
    done
    echo "services: PipeWire's session manager did not take up the null sink" >&2
    return 1
}

start_sound_server() {
    case $(cat "$(spectrino_state_dir)/server") in
    pipewire) spectrino_start_pipewire ;;
    *) spectrino_start_pulseaudio ;;
    esac
}

stop_sound_server() {
    spectrino_stop_listed sound
}

restart_sound_server() {
    [ -f "$(spectrino_state_dir)/server" ] || {
        echo "services: no sound server of ours in ${XDG_RUNTIME_DIR:-(no runtime directory)}" >&2
        return 1
    }
    stop_sound_server
    start_sound_server
}

start_services() {
    export XDG_RUNTIME_DIR
    XDG_RUNTIME_DIR=$(mktemp -d /tmp/spectrino-run.XXXXXX)
    chmod 700 "$XDG_RUNTIME_DIR"
    mkdir "$(spectrino_state_dir)"
    export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
    local server=${SPECTRINO_SOUND_SERVER:-pulseaudio}
    case $server in
    pulseaudio) ;;
    pipewire)
        local libs
        for libs in /usr/lib/*/pipewire-0.3/jack /usr/lib/pipewire-0.3/jack; do
            [ -e "$libs/libjack.so.0" ] && export SPECTRINO_PIPEWIRE_JACK_LIBS=$libs
        done
        export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
        spectrino_spawn bus dbus.log dbus-daemon --session --nofork --nopidfile \
            --address="$DBUS_SESSION_BUS_ADDRESS"
        for _ in $(seq 100); do
            [ -S "$XDG_RUNTIME_DIR/bus" ] && break
            sleep 0.05
        done
        ;;
    *)
        echo "services: unknown sound server \"$server\" (pulseaudio or pipewire)" >&2
        return 1
        ;;
    esac
    echo "$server" >"$(spectrino_state_dir)/server"
    start_sound_server || return 1
    export DISPLAY=:${SPECTRINO_DISPLAY:-97}
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    SPECTRINO_XVFB_PID=$!
    for _ in $(seq 100); do
        xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && break
        sleep 0.1
    done
}

# Processes started beside the services (a player, the analyzer) are ended with them.
SPECTRINO_TRACKED_PIDS=()
track_pid() {
    SPECTRINO_TRACKED_PIDS+=("$1")
}

# Asks every tracked process to end and, after two seconds, makes those that did not: a client
# whose server went first may no longer answer a polite request, and the final `wait` would
# hang on it.
end_tracked() {
    local pid alive _
    for pid in "${SPECTRINO_TRACKED_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for _ in $(seq 20); do
        alive=0
        for pid in "${SPECTRINO_TRACKED_PIDS[@]}"; do
            kill -0 "$pid" 2>/dev/null && alive=1
        done
        [ "$alive" -eq 0 ] && break
        sleep 0.1
    done
    for pid in "${SPECTRINO_TRACKED_PIDS[@]}"; do
        kill -9 "$pid" 2>/dev/null || true
    done
    SPECTRINO_TRACKED_PIDS=()
}

stop_services() {
    end_tracked
    [ -n "${SPECTRINO_XVFB_PID:-}" ] && kill "$SPECTRINO_XVFB_PID" 2>/dev/null || true
    SPECTRINO_XVFB_PID=""
    # Only a runtime directory that start_services made is ours to clear.
    if [ -n "${XDG_RUNTIME_DIR:-}" ] && [ -d "$(spectrino_state_dir)" ]; then
        stop_sound_server
        if [ -f "$(spectrino_state_dir)/bus" ]; then
            spectrino_stop_listed bus
            unset DBUS_SESSION_BUS_ADDRESS SPECTRINO_PIPEWIRE_JACK_LIBS
        fi
        wait 2>/dev/null || true
        rm -rf "$XDG_RUNTIME_DIR"
    fi
    wait 2>/dev/null || true
}
