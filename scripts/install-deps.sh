#!/usr/bin/env bash
# Installs the Debian packages Sentivo needs to build, run and test. Safe to run again: it asks apt
# only for what is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqt6sql6-sqlite libopencv-dev libopencv-contrib-dev opencv-data libcurl4-openssl-dev
  libmosquitto-dev mosquitto mosquitto-clients   # the MQTT channel, and the broker its tests start
  libgtest-dev python3 python3-aiosmtpd openssl xvfb xauth xdotool fonts-dejavu-core locales ccache
  ffmpeg   # ffprobe: the alarm clips play
  desktop-file-utils appstream man-db dpkg-dev file lintian   # the install test and the .deb
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
# The delay tests read and write numbers under a decimal-comma locale too.
locale -a 2>/dev/null | grep -qix 'de_DE.utf8' || $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
