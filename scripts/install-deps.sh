#!/usr/bin/env bash
# Installs every Debian 12 package Velmo needs to build, test, fuzz and run.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git python3
  clang libclang-rt-14-dev llvm
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsdl2-dev
  librtmidi-dev jackd2
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libsndfile1-dev libsoxr-dev
  fonts-noto-cjk fonts-dejavu-core
  fluid-soundfont-gm fluidsynth python3-numpy python3-scipy
  xvfb xauth
  # velmo-play checks: real WAVE files, a tool to make more, a sound server with a null sink
  alsa-utils sound-icons sox pulseaudio pulseaudio-utils xdotool
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
