#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing the player needs.
set -euo pipefail
packages=(
  build-essential cmake pkg-config clang libclang-rt-dev clang-format libgtest-dev
  libgtk-3-dev libwebkit2gtk-4.1-dev libcurl4-openssl-dev nlohmann-json3-dev
  fonts-open-sans fonts-dejavu-core
  xvfb xauth openbox xdotool wmctrl x11-utils x11-xserver-utils imagemagick
  icecast2 ffmpeg sox lame openssl curl python3 procps psmisc iproute2 pango1.0-tools
  pulseaudio pulseaudio-utils gstreamer1.0-pulseaudio gstreamer1.0-plugins-base
  gstreamer1.0-plugins-good gstreamer1.0-libav dbus dbus-x11 desktop-file-utils appstream
  dpkg-dev file
)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
