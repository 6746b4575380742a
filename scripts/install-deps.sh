#!/usr/bin/env bash
# Installs the Debian packages Tavlin builds, tests and runs with (Debian 12, as root).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git clang-format python3
  juce-modules-source
  libfftw3-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libflac-dev libvorbis-dev libogg-dev
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev libswscale-dev ffmpeg
  libasound2-dev libjack-jackd2-dev libfreetype-dev libfontconfig1-dev libx11-dev libxcomposite-dev
  libxcursor-dev libxext-dev libxinerama-dev libxrandr-dev libxrender-dev libxtst-dev
  libwebkit2gtk-4.0-dev libgtk-3-dev libcurl4-openssl-dev
  libpng-dev libjpeg-dev zlib1g-dev
  lame xvfb xauth x11-apps x11-utils openbox imagemagick xdg-utils fonts-paratype
  libhwy-dev libsleef-dev
  clang libclang-rt-14-dev clang-tidy
  espeak-ng sox libspeexdsp-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
