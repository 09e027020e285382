#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, run and test Quonvera. Safe to run again.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config
  # libraries
  qt6-base-dev nlohmann-json3-dev libcurl4-openssl-dev libicu-dev libsndfile1-dev libpulse-dev
  libx11-dev libxi-dev libxtst-dev libatspi2.0-dev libssl-dev
  # used at run time: opening the help page
  xdg-utils
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # servers and clients the integration tests start
  xvfb xauth x11-utils x11-xserver-utils xdotool dbus dbus-x11 pulseaudio pulseaudio-utils espeak-ng sox
  python3
  # real X clients and desktop services the text insertion tests drive
  openbox xfce4-terminal python3-gi gir1.2-gtk-3.0 at-spi2-core xclip x11-xkb-utils xkb-data
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
