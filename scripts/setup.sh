#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  build-essential cmake g++ g++-multilib pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libopenimageio-dev libpng-dev zlib1g-dev nlohmann-json3-dev libcli11-dev libncurses-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  ffmpeg tmux
  # Other targets: 32-bit Linux (g++-multilib above; qemu-user runs its tests
  # on a kernel without 32-bit support), Windows through mingw-w64
  # with tests under Wine, GoogleTest built from source, release archives.
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  qemu-user wine wine64 wine32:i386 googletest zip
  slurm-wlm munge bc
  frei0r-plugins-dev melt gstreamer1.0-tools gstreamer1.0-plugins-base
  gstreamer1.0-plugins-bad
)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# wine32 comes from the i386 architecture.
added_arch=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding the i386 architecture"
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  added_arch=1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ] || [ $added_arch -eq 1 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
