#!/usr/bin/env bash
# End-to-end check of the Debian package: builds it (reusing build/ or $SPECTRINO_BUILD_DIR),
# checks it with lintian (errors and warnings fail unless packaging/lintian-overrides explains
# them), unpacks it into a fresh root, starts a private sound server and Xvfb, plays a 1000 Hz
# tone at -20 dBFS into the test sink and runs the installed analyzer from / on the sink's
# monitor, then on the installed test-signal driver (the same tone). Passes when each caption
# names the device and each screenshot shows the spectrum with its scale and labels and band 74
# as the tallest bar. Prints where the screenshots are kept.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SPECTRINO_BUILD_DIR:-$root/build}
device="Monitor of TestSink"
band=74

"$root/scripts/install-deps.sh"
[ -f "$build/build.ninja" ] || "$root/scripts/build.sh"
cmake --build "$build" -j"${SPECTRINO_JOBS:-2}" >/dev/null

work=$(mktemp -d /tmp/spectrino-e2e.XXXXXX)
shot=$work/screenshot.png
fail() {
    echo "e2e-install: FAIL: $*" >&2
    exit 1
}

echo "== packaging"
(cd "$build" && cpack -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$work"/pkg/spectrino_*.deb)
echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"

echo "== lintian"
# Overrides, if any, travel in the package (packaging/lintian-overrides).
status=0
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 || status=$?
grep -v "running with root privileges" "$work/lintian.log" || true
[ "$status" -eq 0 ] || fail "lintian"
echo "lintian: clean"
dpkg-deb -x "$deb" "$work/root"
usr=$work/root/usr
hive=$work/root/etc/spectrino/registry

for f in bin/spectrino bin/spectrino-meter bin/spectrino-reg \
    share/applications/spectrino.desktop share/icons/hicolor/scalable/apps/spectrino.svg \
    lib/spectrino/drivers/libspectrino_alsa.so lib/spectrino/drivers/libspectrino_testsignal.so \
    lib/spectrino/drivers/libspectrino_jack.so \
    share/doc/spectrino/copyright share/doc/spectrino/changelog.gz \
    share/man/man1/spectrino.1.gz share/man/man1/spectrino-meter.1.gz \
    share/man/man1/spectrino-reg.1.gz; do
    [ -e "$usr/$f" ] || fail "the package lacks /usr/$f"
done
for size in 16 32 48 64 128 256; do
    [ -e "$usr/share/icons/hicolor/${size}x$size/apps/spectrino.png" ] || fail "no $size px icon"
done
# The filter bank is the programs' own, in a directory of theirs: the loader finds it only
# through their run path.
bank=$(cd "$usr" && find lib -name 'libtonebank.so*')
[[ "$bank" == lib/*/spectrino/libtonebank.so || "$bank" == lib/spectrino/libtonebank.so ]] ||
    fail "the filter bank is at \"$bank\", not in a private directory"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$usr/share/applications/spectrino.desktop" || fail "desktop file"
fi

# shellcheck source=scripts/services.sh
source "$root/scripts/services.sh"
start_services
trap stop_services EXIT

# A fresh user hive; the machine hive must stay the installed one.
unset SPECTRINO_REGISTRY_DIR SPECTRINO_SYSTEM_DIR SPECTRINO_WINDOWS_DIR
export XDG_CONFIG_HOME=$work/config
reg=$usr/bin/spectrino-reg

echo "== installed registry"
[ "$("$reg" path HKLM)" = "$hive/HKEY_LOCAL_MACHINE.reg" ] ||
    fail "the installed tools use $("$reg" path HKLM), not the package's hive"
for name in "Spectrino Test Signal" "Spectrino ALSA" "Spectrino JACK"; do
    clsid=$("$reg" get HKLM "software\\asio\\$name" clsid) || fail "$name is not registered"
    file=$("$reg" get HKCR "CLSID\\$clsid\\InprocServer32" @)
    [ -f "$usr/lib/spectrino/drivers/$file" ] || fail "$name points at $file, which is not installed"
    echo "$name: $clsid -> $file"
done

echo "== installed meter from /"
bands=$(cd / && "$usr/bin/spectrino-meter" --bands) ||
    fail "spectrino-meter does not run from / (filter bank not found?)"
grep -q "^74,1029\." <<<"$bands" || fail "unexpected band table"

settings='Software\Spectrino Project\Spectrino'
for value in Left=0 Top=0 Width=900 Height=520; do
    "$reg" set-dword HKCU "$settings" "${value%%=*}" "${value#*=}"
done

# Starts the installed analyzer from / on device $1, waits for its window, checks the caption
# and a screenshot (saved as $2) taken after $3 seconds, and that it has loaded the module $4 if
# given, then asks it to end.
check_analyzer() {
    local device=$1 shot=$2 settle=$3 window="" caption
    echo "== analyzer on \"$device\""
    "$reg" set HKCU "$settings" Device "$device"
    (cd / && exec "$usr/bin/spectrino") >"$work/spectrino.log" 2>&1 &
    app=$!
    track_pid "$app"
    for _ in $(seq 100); do
        window=$(xwininfo -root -tree 2>/dev/null | awk '/"Spectrino \[/ { print $1; exit }')
        [ -n "$window" ] && break
        kill -0 "$app" 2>/dev/null || { cat "$work/spectrino.log" >&2; fail "the analyzer ended"; }
        sleep 0.1
    done
    [ -n "$window" ] || { xwininfo -root -tree | grep -i spectrino >&2; fail "no analyzer window"; }
    caption=$(xprop -id "$window" _NET_WM_NAME | sed -n 's/^[^"]*"\(.*\)"$/\1/p')
    echo "caption: $caption"
    [ "$caption" = "Spectrino [$device]" ] || fail "caption \"$caption\""
    # The filter bank must come from the package, not from wherever else one may lie.
    local bank
    bank=$(awk '/libtonebank/ { print $6; exit }' "/proc/$app/maps")
    echo "filter bank: $bank"
    [[ "$bank" == "$usr/lib/"* ]] || fail "the analyzer loaded \"$bank\""
    if [ -n "${4:-}" ]; then
        grep -qF "$4" "/proc/$app/maps" || fail "the analyzer did not load $4"
        echo "driver: $4"
    fi
    sleep "$settle"
    xwd -root -silent | /usr/bin/convert xwd:- "$shot"
    echo "screenshot: $shot"
    "$build/bin/shot_check" "$shot" "$band" 44100 || fail "screenshot"
    # Asked to end, the program stores its settings in the user hive.
    kill "$app"
    wait "$app" || true
    [ "$("$reg" get HKCU "$settings" Device)" = "$device" ] || fail "settings not stored on exit"
}

sox -q -n -t raw -r 44100 -e signed -b 16 -c 2 - synth 30 sine 1000 vol 0.1 |
    pacat --playback --device=test --format=s16le --rate=44100 --channels=2 \
        --latency-msec=20 2>/dev/null &
player=$!
track_pid "$player"
# An idle null sink may sleep for two seconds before data flows; then the bars settle.
check_analyzer "$device" "$shot" 5
kill "$player"
# The installed test-signal driver plays the same tone (1000 Hz, -20 dBFS) through the host.
check_analyzer "In 1 / In 2 [Spectrino Test Signal]" "$work/screenshot-driver.png" 3 \
    "$usr/lib/spectrino/drivers/libspectrino_testsignal.so"
# Only the screenshots are kept.
rm -rf "$work/root" "$work/pkg" "$work/config"
echo "e2e-install: PASS"
