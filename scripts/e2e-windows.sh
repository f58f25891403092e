#!/usr/bin/env bash
# The Windows analyzer end to end under Wine, as a user meets it: spectrino.exe starts on a fresh
# prefix and draws its scale; the settings land in the Wine registry on close and come back at
# the next start; the test-signal driver, registered with regsvr32, shows in the Device menu and
# puts its 1000 Hz tone into band 74; "/NOASIO" hides it; a wave device (the test sound server's
# monitor through Wine's own sound driver) shows the tone played on the host. Menus are driven
# with clicks and keys as a user would. Screenshots are checked with shot_check of the Linux build
# and kept in $SPECTRINO_SHOT_DIR (default: a temporary directory, printed).
#
# Needs: the Windows build (SPECTRINO_WINDOWS_BUILD_DIR), the Linux build's shot_check
# (SPECTRINO_BUILD_DIR), WINEPREFIX initialised, DISPLAY and PULSE_SERVER from scripts/services.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
winbuild=${SPECTRINO_WINDOWS_BUILD_DIR:-$root/build-win}
build=${SPECTRINO_BUILD_DIR:-$root/build}
wine=/usr/lib/wine/wine64
shots=${SPECTRINO_SHOT_DIR:-$(mktemp -d /tmp/spectrino-wine-shots.XXXXXX)}
key='HKCU\Software\Spectrino Project\Spectrino'
pair="In 1 / In 2 [Spectrino Test Signal]"
mkdir -p "$shots"

fail() {
    echo "e2e-windows: FAIL: $*" >&2
    exit 1
}
[ -x "$build/bin/shot_check" ] || fail "no $build/bin/shot_check: build the Linux tree first"
[ -f "$winbuild/bin/spectrino.exe" ] || fail "no $winbuild/bin/spectrino.exe"
: "${WINEPREFIX:?}" "${DISPLAY:?}" "${PULSE_SERVER:?}"

reg_set() {  # name type value
    "$wine" reg add "$key" /v "$1" /t "$2" /d "$3" /f >/dev/null 2>&1 || fail "reg add $1"
}
reg_get() {  # name -> the value as reg query prints it
    "$wine" reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' |
        awk -v name="$1" '$1 == name { $1 = ""; $2 = ""; sub(/^  */, ""); print; exit }'
}

# Starts spectrino.exe with the given arguments and waits for its window; sets $window.
app=""
window=""
start_analyzer() {
    (cd "$winbuild/bin" && exec "$wine" spectrino.exe "$@") >"$shots/spectrino.log" 2>&1 &
    app=$!
    window=""
    for _ in $(seq 300); do
        window=$(xwininfo -root -tree 2>/dev/null | awk '/"Spectrino( \[.*\])?": \("spectrino.exe"/ { print $1; exit }')
        [ -n "$window" ] && break
        kill -0 "$app" 2>/dev/null || { cat "$shots/spectrino.log" >&2; fail "spectrino.exe ended"; }
        sleep 0.1
    done
    [ -n "$window" ] || fail "no analyzer window"
}
caption() {
    xprop -id "$window" WM_NAME | sed -n 's/^[^"]*"\(.*\)"$/\1/p'
}
expect_caption() {
    local shown
    for _ in $(seq 50); do
        shown=$(caption)
        [ "$shown" = "$1" ] && { echo "caption: $shown"; return; }
        sleep 0.1
    done
    fail "caption \"$shown\", not \"$1\""
}
# Asks the program to end as a user's close would (WM_CLOSE) and waits for it.
close_analyzer() {
    "$wine" taskkill /im spectrino.exe >/dev/null 2>&1 || true
    for _ in $(seq 100); do
        kill -0 "$app" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$app" 2>/dev/null && fail "spectrino.exe did not end on WM_CLOSE"
    wait "$app" 2>/dev/null || true
}
# The window's place on the screen: sets $wx and $wy (top left of the menu bar).
window_origin() {
    local info
    info=$(xwininfo -id "$window")
    wx=$(awk '/Absolute upper-left X/ { print $4 }' <<<"$info")
    wy=$(awk '/Absolute upper-left Y/ { print $4 }' <<<"$info")
}
shot() {  # file band [rate [level]]
    local file=$shots/$1
    shift
    xwd -root -silent | /usr/bin/convert xwd:- "$file"
    echo "screenshot: $file"
    "$build/bin/shot_check" "$file" "$@" || fail "screenshot $file"
}

echo "== fresh prefix: the scale, no device"
"$wine" reg query "$key" >/dev/null 2>&1 && fail "the fresh prefix already has settings"
start_analyzer
expect_caption "Spectrino"
sleep 2
shot windows-fresh.png none 44100
# 48000 Hz from the Samplerate menu, by mouse and keys (the second item of the second menu).
window_origin
xdotool mousemove $((wx + 90)) $((wy + 10)) click 1
sleep 0.5
xdotool key Down Down Return
sleep 1
close_analyzer
[ "$(reg_get Samplerate)" = 0xbb80 ] || fail "Samplerate stored as \"$(reg_get Samplerate)\""
for name in Device PeakHold DecayTime WindowType InputMode HighColor MidColor LowColor HighTresh \
    MidTresh Width Height Left Top State Topmost; do
    "$wine" reg query "$key" /v "$name" >/dev/null 2>&1 || fail "no $name stored on close"
done
echo "settings stored on close: Samplerate 48000 and the other 16 values"

echo "== the test-signal driver"
"$wine" regsvr32 /s "$(cd "$winbuild/bin" && pwd)/spectrino_testsignal.dll" ||
    fail "regsvr32 of the test-signal driver"
reg_set Device REG_SZ "$pair"
reg_set WindowType REG_DWORD 0
start_analyzer
expect_caption "Spectrino [$pair]"
sleep 3
# The stored 48000 Hz came back; the tone lies in band 73 there.
shot windows-driver-48000.png 73 48000 -12.5
# Back to 44100 Hz by the menu: band 74 at about -12.5 dB with the rectangular window.
window_origin
xdotool mousemove $((wx + 90)) $((wy + 10)) click 1
sleep 0.5
xdotool key Down Return
sleep 3
shot windows-driver.png 74 44100 -12.5
close_analyzer
[ "$(reg_get Device)" = "$pair" ] || fail "Device stored as \"$(reg_get Device)\""
[ "$(reg_get Samplerate)" = 0xac44 ] || fail "Samplerate stored as \"$(reg_get Samplerate)\""

echo "== /NOASIO hides the driver"
start_analyzer /NOASIO
expect_caption "Spectrino [WaveMapper]"
close_analyzer

echo "== a wave device: the test sink's monitor through Wine's sound driver"
sox -q -n -t raw -r 44100 -e signed -b 16 -c 2 - synth 60 sine 1000 vol 0.1 |
    pacat --playback --device=test --format=s16le --rate=44100 --channels=2 \
        --latency-msec=20 2>/dev/null &
player=$!
trap 'kill $player 2>/dev/null || true' EXIT
reg_set Device REG_SZ "Monitor of TestSink"
start_analyzer
expect_caption "Spectrino [Monitor of TestSink]"
# An idle null sink may sleep for two seconds before data flows; then the bars settle.
sleep 5
shot windows-wave.png 74 44100
close_analyzer
kill "$player" 2>/dev/null || true
echo "e2e-windows: PASS (screenshots in $shots)"
