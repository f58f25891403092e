#!/usr/bin/env bash
# The Windows release as a user gets it: cpack makes the installer and the ZIP from the cross
# build; on a fresh Wine prefix the installer runs silently and puts the programs in Program
# Files, a Start-menu link, an uninstall entry and the test-signal driver's registration in
# place; the installed analyzer, started from another directory, shows the driver's tone in band
# 74 and the installed meter finds it as the loudest band of a WAV file; installing the same
# version again and a newer build over it keeps the settings and one uninstall entry; the
# silent uninstall removes all of it but the user's settings.
#
# Needs: the Windows build (SPECTRINO_WINDOWS_BUILD_DIR), the Linux build's shot_check
# (SPECTRINO_BUILD_DIR), DISPLAY from scripts/services.sh, makensis. The newer build is made in
# <Windows build>-next (ccache keeps it cheap). The Wine prefix is its own and removed afterwards;
# screenshots are kept in $SPECTRINO_SHOT_DIR (default: a temporary directory, printed).
set -euo pipefail
export LC_ALL=C
root=$(cd "$(dirname "$0")/.." && pwd)
winbuild=$(cd "${SPECTRINO_WINDOWS_BUILD_DIR:-$root/build-win}" && pwd)
build=${SPECTRINO_BUILD_DIR:-$root/build}
wine=/usr/lib/wine/wine64
shots=${SPECTRINO_SHOT_DIR:-$(mktemp -d /tmp/spectrino-wine-install.XXXXXX)}
key='HKCU\Software\Spectrino Project\Spectrino'
uninstall_root='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
uninstall_key="$uninstall_root\\Spectrino"
driver_key='HKLM\software\asio\Spectrino Test Signal'
clsid='{8D2E6A51-3F7C-4E19-B6A2-5C1D9E0F7A34}'
pair="In 1 / In 2 [Spectrino Test Signal]"
mkdir -p "$shots"

fail() {
    echo "e2e-windows-install: FAIL: $*" >&2
    exit 1
}
[ -x "$build/bin/shot_check" ] || fail "no $build/bin/shot_check: build the Linux tree first"
[ -f "$winbuild/CPackConfig.cmake" ] || fail "no Windows build in $winbuild"
: "${DISPLAY:?}"

# The version inside a Windows file's version resource ("FileVersion").
file_version() {
    strings -el "$1" | awk 'found { print; exit } $0 == "FileVersion" { found = 1 }'
}
package_version() {  # build directory
    sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$1/CPackConfig.cmake"
}

echo "== the installer and the ZIP"
version=$(package_version "$winbuild")
(cd "$winbuild" && cpack -G "NSIS;ZIP" >/dev/null) || fail "cpack in $winbuild"
installer=$winbuild/spectrino-$version-win64.exe
zip=$winbuild/spectrino-$version-win64.zip
for file in "$installer" "$zip"; do
    [ -f "$file" ] || fail "cpack made no $file"
    echo "$(basename "$file"): $(stat -c %s "$file") bytes"
done
expected_files="README.md spectrino-meter.exe spectrino.exe spectrino_testsignal.dll tonebank.dll"
listed=$(cmake -E tar tf "$zip" | sed -n "s|^spectrino-$version-win64/||p" | sort | xargs)
[ "$listed" = "$expected_files" ] || fail "the ZIP holds \"$listed\", not \"$expected_files\""
[ "$(file_version "$installer")" = "$version" ] ||
    fail "the installer carries version \"$(file_version "$installer")\", not $version"

echo "== a newer build"
IFS=. read -r -a parts <<<"$version"
parts[-1]=$((parts[-1] + 1))
newer=$(IFS=.; echo "${parts[*]}")
next=$winbuild-next
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
fi
cmake -S "$root" -B "$next" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DSPECTRINO_WITH_QT=OFF -DSPECTRINO_BUILD_BENCH=OFF \
    -DSPECTRINO_BUILD_TESTS=OFF -DSPECTRINO_VERSION_OVERRIDE="$newer" "${launcher[@]}" >/dev/null
cmake --build "$next" -j2
(cd "$next" && cpack -G NSIS >/dev/null) || fail "cpack in $next"
newer_installer=$next/spectrino-$newer-win64.exe
[ -f "$newer_installer" ] || fail "cpack made no $newer_installer"
echo "$(basename "$newer_installer"): $(stat -c %s "$newer_installer") bytes"

export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX=$(mktemp -d /tmp/spectrino-wine-install.XXXXXX)
cleanup() {
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
"$wine" wineboot --init >/dev/null 2>&1

program_dir_windows='C:\Program Files\Spectrino'
program_dir=$WINEPREFIX/drive_c/Program\ Files/Spectrino
shortcut=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Spectrino.lnk
app_dir=$shots
app_exe="$program_dir_windows\\spectrino.exe"
# shellcheck source=scripts/wine-app.sh
source "$root/scripts/wine-app.sh"

query() {  # key [value] -> the value's (or the default value's) data as reg query prints it
    local which=(/ve) name="(Default)"
    if [ -n "${2:-}" ]; then
        which=(/v "$2")
        name=$2
    fi
    "$wine" reg query "$1" "${which[@]}" 2>/dev/null | tr -d '\r' |
        awk -v name="$name" '$1 == name { $1 = ""; $2 = ""; sub(/^  */, ""); print; exit }'
}
key_exists() {
    "$wine" reg query "$1" >/dev/null 2>&1
}
run_installer() {  # installer
    "$wine" "$1" /S || fail "$(basename "$1") /S ended with $?"
}
# Everything the installer puts in place, for the given version, and only one uninstall entry
# (in both registry views).
expect_installed() {  # version
    local files entries view
    files=$(cd "$program_dir" && ls | sort | xargs) || fail "no $program_dir"
    [ "$files" = "$(printf '%s\n' Uninstall.exe $expected_files | sort | xargs)" ] ||
        fail "installed files: $files"
    [ "$(file_version "$program_dir/spectrino.exe")" = "$1" ] ||
        fail "spectrino.exe is version \"$(file_version "$program_dir/spectrino.exe")\", not $1"
    [ -f "$shortcut" ] || fail "no Start-menu link $shortcut"
    # The link carries an icon location (flag 0x40) naming the program.
    (($(od -An -tu4 -j20 -N4 "$shortcut") & 0x40)) || fail "the Start-menu link has no icon"
    strings -el "$shortcut" | grep -qF "$program_dir_windows\\spectrino.exe" ||
        fail "the Start-menu link does not name the program"
    [ "$(query "$uninstall_key" DisplayName)" = Spectrino ] || fail "no uninstall entry"
    [ "$(query "$uninstall_key" DisplayVersion)" = "$1" ] ||
        fail "uninstall entry version \"$(query "$uninstall_key" DisplayVersion)\", not $1"
    [ "$(query "$uninstall_key" Publisher)" = "Spectrino Project" ] || fail "no publisher"
    [ "$(query "$uninstall_key" DisplayIcon)" = "$program_dir_windows\\spectrino.exe,0" ] ||
        fail "uninstall entry icon \"$(query "$uninstall_key" DisplayIcon)\""
    (($(query "$uninstall_key" EstimatedSize) > 1000)) || fail "uninstall entry size too small"
    local quiet="\"$program_dir_windows\\Uninstall.exe\" /S"
    [ "$(query "$uninstall_key" QuietUninstallString)" = "$quiet" ] ||
        fail "quiet uninstall \"$(query "$uninstall_key" QuietUninstallString)\""
    entries=0
    for view in 32 64; do
        entries=$((entries + $("$wine" reg query "$uninstall_root" /s /reg:$view 2>/dev/null |
            tr -d '\r' | grep -cE '^ +DisplayName +REG_SZ +Spectrino$' || true)))
    done
    [ "$entries" -eq 1 ] || fail "$entries uninstall entries for Spectrino"
    [ "$(query "$driver_key" clsid)" = "$clsid" ] || fail "the driver is not listed under asio"
    [ "$(query "HKCR\\CLSID\\$clsid\\InprocServer32")" = \
        "$program_dir_windows\\spectrino_testsignal.dll" ] ||
        fail "the driver's server is not the installed file"
    echo "installed $1: files, Start-menu link, uninstall entry, driver registration"
}
expect_settings_kept() {
    [ "$(reg_get Device)" = "$pair" ] || fail "Device is \"$(reg_get Device)\" after $1"
    [ "$(reg_get WindowType)" = 0x0 ] || fail "WindowType is \"$(reg_get WindowType)\" after $1"
    echo "settings kept after $1"
}

echo "== silent install"
"$wine" reg query "$key" >/dev/null 2>&1 && fail "the fresh prefix already has settings"
run_installer "$installer"
expect_installed "$version"

echo "== the installed analyzer, started from another directory"
reg_set Device REG_SZ "$pair"
reg_set WindowType REG_DWORD 0
start_analyzer
expect_caption "Spectrino [$pair]"
sleep 3
shot installed-driver.png 74 44100 -12.5
close_analyzer
[ "$(reg_get Samplerate)" = 0xac44 ] || fail "no settings stored on close"

echo "== the installed meter on a WAV file"
sox -q -n -r 44100 -e signed -b 16 -c 2 "$shots/tone.wav" synth 2 sine 1000 vol 0.1
meter="$program_dir_windows\\spectrino-meter.exe"
levels=$(cd "$shots" && "$wine" "$meter" tone.wav | tr -d '\r') || fail "the meter on tone.wav"
loudest=$(awk -F, 'NR > 1 { last = $0 } END {
        n = split(last, f, ","); best = 2
        for (i = 3; i <= n; i++) if (f[i] + 0 > f[best] + 0) best = i
        print best - 2 }' <<<"$levels")
[ "$loudest" = 74 ] || fail "the meter's loudest band is $loudest, not 74"
echo "meter: loudest band $loudest"

echo "== the same version over itself"
run_installer "$installer"
expect_installed "$version"
expect_settings_kept "reinstalling $version"

echo "== $newer over $version"
run_installer "$newer_installer"
expect_installed "$newer"
expect_settings_kept "upgrading to $newer"

echo "== silent uninstall"
# The uninstaller copies itself away and returns at once; wait for its work.
"$wine" "$program_dir_windows\\Uninstall.exe" /S || fail "Uninstall.exe /S ended with $?"
for _ in $(seq 100); do
    [ -d "$program_dir" ] || key_exists "$uninstall_key" || break
    sleep 0.2
done
[ -d "$program_dir" ] && fail "$program_dir is still there: $(ls "$program_dir" | xargs)"
[ -f "$shortcut" ] && fail "the Start-menu link is still there"
key_exists "$uninstall_key" && fail "the uninstall entry is still there"
key_exists "$driver_key" && fail "the driver is still listed under asio"
key_exists "HKCR\\CLSID\\$clsid" && fail "the driver's class key is still there"
expect_settings_kept "uninstalling"
echo "e2e-windows-install: PASS (screenshots in $shots)"
