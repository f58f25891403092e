#!/usr/bin/env bash
# Installs what Spectrino needs to build, run, test and package on Debian 12 (skips what is
# there). Extra package names given as arguments are installed as well.
set -euo pipefail
packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6test6
    libgtest-dev libbenchmark-dev
    libpulse-dev libasound2-dev
    pulseaudio pulseaudio-utils alsa-utils libasound2-plugins sox
    xvfb x11-utils x11-apps xauth imagemagick fonts-dejavu-core
    dpkg-dev file desktop-file-utils lintian
    pipewire pipewire-bin pipewire-pulse pipewire-jack wireplumber dbus dbus-daemon
    libjack-jackd2-dev jackd2 libsamplerate0-dev
    "$@"
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
