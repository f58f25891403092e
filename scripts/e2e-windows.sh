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
# (SPECTRINO_BUILD_DIR), DISPLAY and PULSE_SERVER from scripts/services.sh. It makes its own Wine
# prefix and removes it afterwards.
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
: "${DISPLAY:?}" "${PULSE_SERVER:?}"

export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX=$(mktemp -d /tmp/spectrino-wine-e2e.XXXXXX)
player=""
cleanup() {
    if [ -n "$player" ]; then kill "$player" 2>/dev/null || true; fi
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
"$wine" wineboot --init >/dev/null 2>&1

app_dir=$winbuild/bin
app_exe=spectrino.exe
# shellcheck source=scripts/wine-app.sh
source "$root/scripts/wine-app.sh"

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
reg_set Device REG_SZ "Monitor of TestSink"
start_analyzer
expect_caption "Spectrino [Monitor of TestSink]"
# An idle null sink may sleep for two seconds before data flows; then the bars settle.
sleep 5
shot windows-wave.png 74 44100
close_analyzer
kill "$player" 2>/dev/null || true
player=""
echo "e2e-windows: PASS (screenshots in $shots)"
