#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  build-essential cmake g++ g++-multilib pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libopenimageio-dev nlohmann-json3-dev libcli11-dev libncurses-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  ffmpeg tmux
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
