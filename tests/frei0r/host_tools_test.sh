#!/usr/bin/env bash
# Runs the frei0r plug-in inside the real ffmpeg, melt and GStreamer and
# compares their frames with vidmixer rendering a scene of the same settings.
# Usage: host_tools_test.sh BUILD_DIR TOOL   (TOOL: ffmpeg, melt or gstreamer)
# Exits 77 (skipped) when the tool is not installed. No tool reads the
# terminal: melt would take keys from it.
set -euo pipefail
exec </dev/null
build="$(cd "$1" && pwd)"
tool="$2"
size=640x480
frames=24

need() { command -v "$1" >/dev/null || { echo "skipped: $1 is not installed"; exit 77; }; }
need ffmpeg
case "$tool" in
  melt) need melt ;;
  gstreamer) need gst-launch-1.0 ;;
esac

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
export FREI0R_PATH="$build"
unset KIVO_VIDMIXER_MODULE

fail() { echo "FAIL: $*" >&2; exit 1; }

# The test picture as raw RGBA frames, numbered from 0.
ffmpeg -y -nostdin -v error -f lavfi -i "testsrc2=size=$size:rate=24" -frames:v $frames -vf format=rgba \
  -f rawvideo -pix_fmt rgba input.rgba

# vidmixer's frames of one look (effect number) at a constant fade, as raw RGBA.
reference() {
  local effect="$1" fade="$2" out="$3"
  cat > scene.json <<SCENE
{ "format": "kivo-vidmixer-scene", "version": 1, "fps": 24, "first_frame": 0, "last_frame": $((frames - 1)),
  "items": [ { "id": 1, "name": "fade", "keys": [ { "frame": 0, "position": [0, 0, 0], "scale": [$fade, $fade, $fade] } ] } ],
  "filters": [ { "server": "Kivo_VidMixer", "record": "1 1 1 0 0 1 0 $effect 255 255 255 0 0 0 0 0 0 1" } ] }
SCENE
  "$build/vidmixer" render scene.json -i - --size $size --start 0 -o - --quiet < input.rgba > "$out"
}

same() { # raw frames a and b, what
  [ -s "$1" ] || fail "$3: no frames from the host"
  cmp -s "$1" "$2" || fail "$3: frames differ from vidmixer's ($(cmp "$1" "$2" | head -1))"
  echo "ok: $3 ($(($(stat -c %s "$1") / (640 * 480 * 4))) frames identical)"
}

case "$tool" in
ffmpeg)
  for look in static:0 rgb:1 film:2 negative:3 film:2:0.5 negative:3:0.5; do
    IFS=: read -r name effect fade <<< "$look"
    fade="${fade:-1}"
    reference "$effect" "$fade" expected.rgba
    ffmpeg -y -nostdin -v error -f lavfi -i "testsrc2=size=$size:rate=24" -frames:v $frames \
      -vf "format=rgba,frei0r=filter_name=kivo_vidmixer:filter_params=$name|$fade" \
      -f framemd5 -pix_fmt rgba got.md5
    ffmpeg -y -nostdin -v error -f rawvideo -pix_fmt rgba -s $size -r 24 -i expected.rgba -f framemd5 -pix_fmt rgba want.md5
    diff <(grep -v '^#' got.md5 | awk -F, '{print $2, $NF}') \
         <(grep -v '^#' want.md5 | awk -F, '{print $2, $NF}') >/dev/null \
      || fail "ffmpeg $name|$fade: frame checksums differ from vidmixer's"
    [ "$(grep -vc '^#' got.md5)" -eq $frames ] || fail "ffmpeg $name|$fade: expected $frames frames"
    echo "ok: ffmpeg $name|$fade ($frames frame checksums identical)"
  done
  ;;
melt)
  reference 2 1 expected.rgba
  # melt's file reader leaves out a file's last frame: the file has two more.
  ffmpeg -y -nostdin -v error -f lavfi -i "testsrc2=size=$size:rate=24" -frames:v $((frames + 2)) -vf format=rgba \
    -c:v rawvideo -pix_fmt rgba input.nut
  cat > profile <<PROFILE
description=test
frame_rate_num=24
frame_rate_den=1
width=640
height=480
progressive=1
sample_aspect_num=1
sample_aspect_den=1
display_aspect_num=4
display_aspect_den=3
colorspace=601
PROFILE
  melt -silent -profile profile input.nut out=$((frames - 1)) -filter frei0r.kivo_vidmixer look=film fade=1 \
    -consumer avformat:got.rgba f=rawvideo pix_fmt=rgba an=1 real_time=0 </dev/null >melt.log 2>&1 \
    || { cat melt.log; fail "melt failed"; }
  same got.rgba expected.rgba "melt film|1"
  ;;
gstreamer)
  reference 2 1 expected.rgba
  export GST_REGISTRY="$work/registry.bin"
  gst-inspect-1.0 frei0r-filter-kivo-vidmixer >inspect.txt 2>&1 \
    || { cat inspect.txt; fail "GStreamer does not find the plug-in"; }
  gst-launch-1.0 -q filesrc location=input.rgba \
    ! rawvideoparse width=640 height=480 format=rgba framerate=24/1 \
    ! frei0r-filter-kivo-vidmixer look=film fade=1 \
    ! filesink location=got.rgba </dev/null >gst.log 2>&1 || { cat gst.log; fail "gst-launch-1.0 failed"; }
  same got.rgba expected.rgba "GStreamer film|1"
  ;;
*) fail "unknown tool $tool" ;;
esac
