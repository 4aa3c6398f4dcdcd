#!/usr/bin/env bash
# Installs the Debian packages one purpose of the project needs; only what is
# missing, so it is safe to run again.
#   setup.sh [PURPOSE...]   build (default), tests, cross, editors, or all
#     build    building and running vidmixer, the module and the frei0r plug-in
#     tests    the test suite and the benchmarks: the real ffmpeg, melt,
#              GStreamer, Slurm and Chromium they talk to, and Node.js with
#              playwright-core (npm, tests/preview/package-lock.json)
#     cross    the 32-bit Linux and the Windows modules, with Wine for their tests
#     editors  Kdenlive under a virtual display, for scripts/kdenlive_check.sh
set -euo pipefail

build=(
  build-essential cmake g++ pkg-config
  libopenimageio-dev libpng-dev libdeflate-dev zlib1g-dev nlohmann-json3-dev libcli11-dev libncurses-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  frei0r-plugins-dev libcpp-httplib-dev
)
tests=(
  libgtest-dev libgmock-dev libbenchmark-dev
  ffmpeg tmux zip bc
  slurm-wlm munge
  melt gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-bad
  chromium
)
cross=(
  g++-multilib g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  qemu-user wine wine64 googletest
)
# 32-bit Wine comes from the i386 architecture, whose package index a mirror
# serves apart from the others. Without it the 32-bit Windows module still
# builds, and scripts/test.sh reports its Wine tests skipped.
cross_i386=(wine32:i386)
editors=(
  kdenlive xvfb xauth dbus xdotool imagemagick
)

purposes=("$@")
[ ${#purposes[@]} -gt 0 ] || purposes=(build)
wanted=()
need_i386=0
need_node=0
for purpose in "${purposes[@]}"; do
  case $purpose in
    build) wanted+=("${build[@]}") ;;
    tests) wanted+=("${tests[@]}"); need_node=1 ;;
    cross) wanted+=("${cross[@]}"); need_i386=1 ;;
    editors) wanted+=("${editors[@]}") ;;
    all) wanted+=("${build[@]}" "${tests[@]}" "${cross[@]}"); need_i386=1; need_node=1 ;;
    *) echo "setup.sh: unknown purpose '$purpose' (build, tests, cross, editors, all)" >&2; exit 2 ;;
  esac
done

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# wine32 comes from the i386 architecture.
added_arch=0
if [ $need_i386 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding the i386 architecture"
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  added_arch=1
fi

# The browser tests drive Chromium from Node.js: Debian's, unless the machine
# has a node and npm of its own.
if [ $need_node -eq 1 ]; then
  command -v node >/dev/null || wanted+=(nodejs)
  command -v npm >/dev/null || wanted+=(npm)
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=()
for p in "${wanted[@]}"; do
  installed "$p" || missing+=("$p")
done
missing_i386=()
if [ $need_i386 -eq 1 ]; then
  for p in "${cross_i386[@]}"; do
    installed "$p" || missing_i386+=("$p")
  done
fi

apt_install() {
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y \
    --no-install-recommends "$@"
}

if [ ${#missing[@]} -gt 0 ] || [ ${#missing_i386[@]} -gt 0 ] || [ $added_arch -eq 1 ]; then
  echo "Installing: ${missing[*]} ${missing_i386[*]}"
  # A mirror in the middle of a sync fails an index now and then; the install
  # then goes on from the lists at hand, and fails itself if they cannot do.
  for attempt in 1 2 3; do
    "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update && break
    if [ $attempt -eq 3 ]; then
      echo "setup.sh: apt-get update failed three times; installing from the package lists at hand" >&2
    else
      sleep 15
    fi
  done
  [ ${#missing[@]} -eq 0 ] || apt_install "${missing[@]}"
  if [ ${#missing_i386[@]} -gt 0 ] && ! apt_install "${missing_i386[@]}"; then
    echo "setup.sh: ${missing_i386[*]} could not be installed (see apt-get's message above);" \
      "the 32-bit Windows module's tests under Wine cannot run on this machine" >&2
  fi
fi

# playwright-core for the browser tests, as the lock file pins it.
if [ $need_node -eq 1 ]; then
  tests_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/../tests/preview" && pwd)"
  locked=$(node -p "require('$tests_dir/package-lock.json').packages['node_modules/playwright-core'].version")
  present=$(node -p "require('$tests_dir/node_modules/playwright-core/package.json').version" 2>/dev/null || true)
  if [ "$locked" != "$present" ]; then
    echo "Installing playwright-core $locked for the browser tests"
    npm ci --prefix "$tests_dir" --no-audit --no-fund
  fi
fi
