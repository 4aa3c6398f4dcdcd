#!/usr/bin/env bash
# Builds the module for every target and writes one archive per target:
#   dist/kivo_vidmixer-<version>-<target>.zip
# holding the module, INSTALL.txt and SHA256SUMS.
#   release.sh [TARGET...]   (default: all four presets)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(linux-x86_64 linux-i386 windows-x86 windows-x64)
version=$(sed -n 's/^project(KivoVidMixer VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release: no version in CMakeLists.txt" >&2; exit 1; }
command -v zip >/dev/null || { echo "release: zip not found: install the Debian package zip" >&2; exit 1; }

install_text() {
  local target=$1 platform needs
  case $target in
    linux-x86_64) platform="64-bit Linux (x86-64)"
      needs="the system's C and C++ runtime libraries (libc6, libstdc++6)" ;;
    linux-i386) platform="32-bit Linux (x86, SSE2 required)"
      needs="the system's 32-bit C and C++ runtime libraries (libc6, libstdc++6, libgcc-s1; :i386 on a 64-bit Debian)" ;;
    windows-x86) platform="32-bit Windows (x86, SSE2 required)"
      needs="only the system's own KERNEL32.dll and msvcrt.dll" ;;
    windows-x64) platform="64-bit Windows (x64)"
      needs="only the system's own KERNEL32.dll and msvcrt.dll" ;;
  esac
  cat <<TEXT
Kivo Video Mixer $version for $platform
============================================================

kivo_vidmixer.p is an image-filter plug-in module for the 3D renderer host.
It needs
$needs.

Installing
1. Copy kivo_vidmixer.p into the host's plug-in folder (the folder that
   holds its other .p files). Use the module built for the host's own
   platform: a 32-bit host loads only the 32-bit module.
2. Add the file with the host's command for adding plug-ins and pick
   kivo_vidmixer.p. The host then lists two servers named "Kivo_VidMixer":
   an image filter and its options panel.
3. The options panel needs the host's panels plug-in, lwpanels.p, to be
   added as well; without it the panel reports "Please add plugin lwpanels.p".
4. Add Kivo_VidMixer as an image filter of the scene and choose a fade
   control object in its options.

SHA256SUMS lists the checksums of the files in this archive
(check with: sha256sum -c SHA256SUMS).
TEXT
}

mkdir -p dist
for target in "${targets[@]}"; do
  echo "== $target"
  cmake --preset "$target" >/dev/null
  cmake --build --preset "$target" --target kivo_vidmixer
  build="$root/build-$target"
  stage="$root/dist/stage/$target"
  rm -rf "$stage" && mkdir -p "$stage"
  # The archive holds the module without debugging information.
  case $target in
    windows-x86) strip_tool=i686-w64-mingw32-strip ;;
    windows-x64) strip_tool=x86_64-w64-mingw32-strip ;;
    *) strip_tool=strip ;;
  esac
  "$strip_tool" --strip-debug -o "$stage/kivo_vidmixer.p" "$build/kivo_vidmixer.p"
  install_text "$target" > "$stage/INSTALL.txt"
  (cd "$stage" && sha256sum kivo_vidmixer.p INSTALL.txt > SHA256SUMS)
  archive="$root/dist/kivo_vidmixer-$version-$target.zip"
  rm -f "$archive.tmp"
  (cd "$stage" && zip -q -X "$archive.tmp" kivo_vidmixer.p INSTALL.txt SHA256SUMS)
  mv "$archive.tmp" "$archive"
  echo "$archive"
done
rm -rf "$root/dist/stage"
