#!/usr/bin/env bash
# Cross-builds the Qt-free part of Spectrino for 64-bit Windows with MinGW-w64 and runs its tests
# under Wine in a fresh prefix. The capture test needs the test sound server: when the caller has
# not started it (scripts/services.sh), this script starts and stops its own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SPECTRINO_WINDOWS_BUILD_DIR:-$root/build-win}
wine=/usr/lib/wine/wine64
started=$(date +%s)

# The Linux side (services, screenshots, shot_check) comes with install-deps.sh.
"$root/scripts/install-deps.sh"
packages=(cmake ninja-build ccache g++-mingw-w64-x86-64 wine64 googletest nsis pulseaudio
    pulseaudio-utils sox xdotool)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -ne 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

# ccache lets the installer test build its newer release from the same objects.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DSPECTRINO_WITH_QT=OFF -DSPECTRINO_BUILD_BENCH=OFF \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build "$build" -j2

own_services=0
if [ -z "${PULSE_SERVER:-}" ]; then
    # shellcheck source=scripts/services.sh
    source "$root/scripts/services.sh"
    start_services
    own_services=1
fi

export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX=$(mktemp -d /tmp/spectrino-wine.XXXXXX)
cleanup() {
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    if [ "$own_services" -eq 1 ]; then
        stop_services
    fi
}
trap cleanup EXIT
"$wine" wineboot --init >/dev/null 2>&1

status=0
ctest --test-dir "$build" --output-on-failure -j2 --timeout 300 || status=$?

# The spectrum as the Win32 canvas draws it must equal the Qt canvas's picture pixel for pixel
# outside the text cells: the same scenario, snapshotted natively and under Wine.
linux_build=${SPECTRINO_BUILD_DIR:-$root/build}
if [ ! -f "$linux_build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$linux_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$linux_build" -j2 --target spectrum_parity_snapshot shot_check
snapshots=$(mktemp -d /tmp/spectrino-parity.XXXXXX)
mkdir "$snapshots/linux" "$snapshots/windows"
parity=0
QT_QPA_PLATFORM=offscreen "$linux_build/bin/spectrum_parity_snapshot" "$snapshots/linux" &&
    "$wine" "$build/bin/spectrum_parity_snapshot.exe" "$snapshots/windows" &&
    "$linux_build/bin/spectrum_parity_snapshot" --compare "$snapshots/linux" \
        "$snapshots/windows" || parity=$?
if [ "$parity" -eq 0 ]; then
    rm -rf "$snapshots"
else
    echo "Spectrum pictures of Qt and Win32 differ; snapshots kept in $snapshots" >&2
    status=1
fi

# The program itself, driven as a user would, on a prefix of its own.
SPECTRINO_BUILD_DIR=$linux_build SPECTRINO_WINDOWS_BUILD_DIR=$build "$root/scripts/e2e-windows.sh" ||
    status=1
# The release: installer and ZIP, installed, upgraded and removed on a prefix of its own.
SPECTRINO_BUILD_DIR=$linux_build SPECTRINO_WINDOWS_BUILD_DIR=$build \
    "$root/scripts/e2e-windows-install.sh" || status=1
echo "Windows build and tests under Wine: $(($(date +%s) - started)) s"
exit "$status"
