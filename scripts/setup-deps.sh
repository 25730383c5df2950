#!/usr/bin/env bash
# Installs every Debian package the project needs that is not installed yet.
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

PACKAGES=(
  # toolchain
  g++ cmake ninja-build pkg-config clang libclang-rt-14-dev
  # libraries
  libtinyxml2-dev libgsm1-dev libssl-dev zlib1g-dev libminizip-dev libisofs-dev
  qt6-base-dev qt6-multimedia-dev qt6-svg-dev qt6-wayland
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # tools the tests compare against or drive
  sox libsox-fmt-all unzip zip xorriso genisoimage pulseaudio pulseaudio-utils xdg-utils
  espeak-ng openssl coreutils procps
  # the locales the date and time texts are tested under
  locales-all
  # the typeface the manuals are rendered in
  fonts-dejavu-core
  # installation: icons rendered from SVG, the checks of the install tree and the
  # Debian package, the timer units' check, desktop notifications
  librsvg2-bin desktop-file-utils appstream shared-mime-info libfile-mimeinfo-perl file
  dpkg-dev systemd libglib2.0-bin libnotify-bin
  # compact exports; the decoders their tests read them back with and the bench compares with
  libsndfile1-dev lame opus-tools
  # time-stretching and loudness measurement for playback
  libsoundtouch-dev libebur128-dev
  # the catalogue of recordings that spares a search reading every file again
  libsqlite3-dev
  # the user journeys: a private X server, session bus and accessibility bus, the
  # AT-SPI client they are driven through, keys and screenshots
  xvfb dbus at-spi2-core python3-gi gir1.2-atspi-2.0 xdotool imagemagick x11-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
