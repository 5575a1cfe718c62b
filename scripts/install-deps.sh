#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the program need.
# Idempotent; quiet when everything is already there.
set -euo pipefail
PACKAGES=(
  g++ cmake make pkg-config
  qt6-base-dev qt6-serialport-dev qt6-qpa-plugins qt6-translations-l10n
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev ffmpeg
  libpulse-dev pulseaudio pulseaudio-utils
  libebur128-dev
  libgpiod-dev gpiod
  libgtest-dev googletest
  faketime xvfb xauth imagemagick socat procps tzdata python3
  espeak-ng sox
  dpkg-dev systemd
  clang libclang-rt-14-dev
  libcpp-httplib-dev libssl-dev nlohmann-json3-dev libsodium-dev openssl
  chromium chromium-driver python3-selenium prometheus
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
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
