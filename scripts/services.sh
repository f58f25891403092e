# Sound server and display for tests; source this file, then start_services / stop_services.
# A private runtime directory keeps the test daemon apart from any user session.

start_services() {
    export XDG_RUNTIME_DIR
    XDG_RUNTIME_DIR=$(mktemp -d /tmp/spectrino-run.XXXXXX)
    chmod 700 "$XDG_RUNTIME_DIR"
    export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
        --log-target=stderr \
        -L "module-native-protocol-unix auth-anonymous=1" \
        -L "module-null-sink sink_name=test sink_properties=device.description=TestSink" \
        2>"$XDG_RUNTIME_DIR/pa.log" &
    SPECTRINO_PA_PID=$!
    for _ in $(seq 100); do
        timeout 2 pactl info >/dev/null 2>&1 && break
        sleep 0.1
    done
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

stop_services() {
    local pid
    for pid in "${SPECTRINO_TRACKED_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    SPECTRINO_TRACKED_PIDS=()
    [ -n "${SPECTRINO_PA_PID:-}" ] && kill "$SPECTRINO_PA_PID" 2>/dev/null || true
    [ -n "${SPECTRINO_XVFB_PID:-}" ] && kill "$SPECTRINO_XVFB_PID" 2>/dev/null || true
    wait 2>/dev/null || true
    [ -n "${XDG_RUNTIME_DIR:-}" ] && rm -rf "$XDG_RUNTIME_DIR"
}
