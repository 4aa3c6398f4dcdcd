#!/usr/bin/env bash
# Runs the frei0r plug-in inside the real ffmpeg, melt and GStreamer and
# compares their frames with vidmixer rendering a scene of the same settings,
# numbered by time as the plug-in numbers frames, at the common frame rates.
# Usage: host_tools_test.sh BUILD_DIR TOOL   (TOOL: ffmpeg, melt, gstreamer or kdenlive)
# kdenlive renders the checked-in Kdenlive project with melt. Exits 77
# (skipped) when a tool is not installed. No tool reads the terminal: melt
# would take keys from it.
set -euo pipefail
exec </dev/null
build="$(cd "$1" && pwd)"
tool="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
width=64 height=48 frames=12
rates="24000/1001 24 25 30000/1001 30 50 60"

need() { command -v "$1" >/dev/null || { echo "skipped: $1 is not installed"; exit 77; }; }
need ffmpeg
case "$tool" in
  melt|kdenlive) need melt ;;
  gstreamer) need gst-launch-1.0 ;;
esac

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
export FREI0R_PATH="$build" GST_REGISTRY="$work/registry.bin"
unset KIVO_VIDMIXER_MODULE

fail() { echo "FAIL: $*" >&2; exit 1; }
frame_bytes=$((width * height * 4))
count_frames() { echo $(($(stat -c %s "$1") / frame_bytes)); }

# The test picture at a rate as raw RGBA (N frames), and as a NUT file for
# melt, whose file reader leaves out a file's last frame: it has two more.
source_frames() { # rate n out.rgba
  ffmpeg -y -nostdin -v error -f lavfi -i "testsrc2=size=${width}x$height:rate=$1" -frames:v "$2" \
    -f rawvideo -pix_fmt rgba "$3"
}
source_nut() { # rate n out.nut
  ffmpeg -y -nostdin -v error -f lavfi -i "testsrc2=size=${width}x$height:rate=$1" -frames:v $(($2 + 2)) \
    -c:v rawvideo -pix_fmt rgba "$3"
}

# vidmixer's frames of a settings record under a fade, numbered by time at
# a rate. KEYS: the fade item's keys as JSON (default: the fade throughout).
reference() { # rate record fade in.rgba out.rgba [keys]
  local keys="[ { \"frame\": 0, \"position\": [0, 0, 0], \"scale\": [$3, $3, $3] } ]"
  [ $# -lt 6 ] || keys="$6"
  cat > scene.json <<SCENE
{ "format": "kivo-vidmixer-scene", "version": 1, "fps": $(echo "scale=17; $1" | bc), "first_frame": 0,
  "last_frame": 100000, "frame_numbers": "milliseconds",
  "items": [ { "id": 1, "name": "fade", "keys": $keys } ],
  "filters": [ { "server": "Kivo_VidMixer", "record": "1 $2" } ] }
SCENE
  "$build/vidmixer" render scene.json -i - --size ${width}x$height --start 0 -o - --quiet < "$4" > "$5"
}
# Records after the control item: grain, axis, channel, divisor, negatives, effect, mix, film options.
record_of() { echo "1 1 0 0 1 0 $1 255 255 255 0 0 0 0 0 0 1"; }
film_record="2 1 0 0 1 0 2 255 128 0 1 1 0 1 1 0 3" # grain 2x1, dusty, sprocket jump, sepia, vignette

colour() { ffmpeg -y -nostdin -v error -f rawvideo -pix_fmt rgba -s ${width}x$height -i "$1" -f rawvideo -pix_fmt rgb24 "$2"; }
same() { # got want what: the colour; the alpha of rows a sprocket jump leaves unwritten is the
  # input's in the plug-in and transparent in vidmixer
  [ -s "$1" ] || fail "$3: no frames from the host"
  colour "$1" got.rgb
  colour "$2" want.rgb
  cmp -s got.rgb want.rgb || fail "$3: frames differ from vidmixer's ($(cmp got.rgb want.rgb | head -1))"
  echo "ok: $3 ($(count_frames "$1") frames identical)"
}
distinct() { # frames.rgba n what: every frame has its own grain
  local got
  got=$(split -b $frame_bytes --filter='md5sum' "$1" | sort -u | wc -l)
  [ "$got" -eq "$2" ] || fail "$3: $got distinct frames of $2"
}

melt_profile() { # rate
  cat > profile <<PROFILE
description=test
frame_rate_num=${1%/*}
frame_rate_den=$([ "${1#*/}" = "$1" ] && echo 1 || echo "${1#*/}")
width=$width
height=$height
progressive=1
sample_aspect_num=1
sample_aspect_den=1
display_aspect_num=4
display_aspect_den=3
colorspace=601
PROFILE
}
run_melt() { # out.rgba melt-arguments...
  local out="$1"
  shift
  melt -silent -profile profile "$@" -consumer "avformat:$out" f=rawvideo pix_fmt=rgba an=1 real_time=0 \
    </dev/null >melt.log 2>&1 || { cat melt.log; fail "melt failed"; }
}

case "$tool" in
ffmpeg)
  source_frames 24 $frames input.rgba
  for look in static:0 rgb:1 film:2 negative:3 film:2:0.5 negative:3:0.5; do
    IFS=: read -r name effect fade <<< "$look"
    fade="${fade:-1}"
    reference 24 "$(record_of "$effect")" "$fade" input.rgba want.rgba
    ffmpeg -y -nostdin -v error -f rawvideo -pix_fmt rgba -s ${width}x$height -r 24 -i input.rgba \
      -vf "frei0r=filter_name=kivo_vidmixer:filter_params=$name|$fade" -f rawvideo -pix_fmt rgba got.rgba
    same got.rgba want.rgba "ffmpeg $name|$fade"
  done
  for rate in $rates; do
    source_frames "$rate" $frames input.rgba
    reference "$rate" "$film_record" 1 input.rgba want.rgba
    ffmpeg -y -nostdin -v error -f lavfi -i "testsrc2=size=${width}x$height:rate=$rate" -frames:v $frames \
      -vf "format=rgba,frei0r=filter_name=kivo_vidmixer:filter_params=film|1|0|0|0.03125|0.015625|1/0.5/0|y|y|n|y|y|n|0.046875" \
      -f rawvideo -pix_fmt rgba got.rgba
    same got.rgba want.rgba "ffmpeg film at $rate fps"
    ffmpeg -y -nostdin -v error -f lavfi -i "testsrc2=size=${width}x$height:rate=$rate" -frames:v $frames \
      -vf "format=rgba,frei0r=filter_name=kivo_vidmixer:filter_params=static" -f rawvideo -pix_fmt rgba got.rgba
    distinct got.rgba $frames "ffmpeg static at $rate fps"
  done
  ;;
melt)
  # Every parameter at the default melt reports renders as the plug-in's defaults.
  melt -query filter=frei0r.kivo_vidmixer 2>/dev/null >query.yml
  defaults=$(awk '/- identifier:/ {id=$3} /^ +default:/ && id != "" {v=$2; gsub(/"/, "", v); printf "%s=%s ", id, v}' query.yml)
  [ "$(wc -w <<< "$defaults")" -eq 15 ] || fail "melt's defaults: expected 15 parameters, read: $defaults"
  for rate in $rates; do
    melt_profile "$rate"
    source_nut "$rate" $frames input.nut
    source_frames "$rate" $frames input.rgba
    reference "$rate" "$film_record" 1 input.rgba want.rgba
    # The look by its number (parameter 14), every other by name.
    run_melt got.rgba input.nut out=$((frames - 1)) -filter frei0r.kivo_vidmixer 14=0.6 fade=1 grainWidth=0.03125 \
      mix=#ff8000 filmQuality=1 sprocketJump=1 sepia=1 vignette=1 focalDisplacement=0.046875
    same got.rgba want.rgba "melt film at $rate fps"
    # shellcheck disable=SC2086
    run_melt got.rgba input.nut out=$((frames - 1)) -filter frei0r.kivo_vidmixer $defaults
    reference "$rate" "$(record_of 0)" 1 input.rgba want.rgba
    same got.rgba want.rgba "melt, every parameter at its reported default, at $rate fps"
    distinct got.rgba $frames "melt static at $rate fps"
  done
  # Slice threading: the strips are told apart at the second one the plug-in
  # runs, the user is told once, and frames pass through unchanged from then
  # on. Of the first frame only the strip run first, whichever the threads
  # run first, has a look: at most half the rows (melt cuts a frame into at
  # least two strips).
  for threads in 0 2 4; do
    run_melt got.rgba input.nut out=$((frames - 1)) -filter frei0r.kivo_vidmixer look=film vignette=1 threads=$threads
    [ "$(grep -c 'threads' melt.log)" -eq 1 ] || { cat melt.log; fail "melt threads=$threads: expected one line naming threads"; }
    cmp -s <(tail -c +$((frame_bytes + 1)) got.rgba) <(tail -c +$((frame_bytes + 1)) input.rgba) \
      || fail "melt threads=$threads: the frames after the first are not the input"
    rows=$({ cmp -l <(head -c $frame_bytes got.rgba) <(head -c $frame_bytes input.rgba) || true; } |
      awk -v row=$((width * 4)) '{ print int(($1 - 1) / row) }' | sort -u | wc -l)
    [ "$rows" -le $((height / 2)) ] || fail "melt threads=$threads: $rows rows of the first frame have a look"
    echo "ok: melt threads=$threads said once, $rows rows of the first frame with a look: $(grep threads melt.log)"
  done
  ;;
gstreamer)
  gst-inspect-1.0 frei0r-filter-kivo-vidmixer >inspect.txt 2>&1 || { cat inspect.txt; fail "GStreamer does not find the plug-in"; }
  # Every property at the default GStreamer reports renders as the plug-in's defaults.
  defaults=$(awk '/^  [a-z-]+ +:/ {name=$1} /Default:/ && name !~ /^(name|parent|qos)$/ {
      sub(/.*Default: */, ""); gsub(/"/, ""); gsub(/ +$/, ""); printf "%s=%s ", name, $0 }' inspect.txt)
  [ "$(wc -w <<< "$defaults")" -eq 17 ] || fail "GStreamer's defaults: expected 17 properties, read: $defaults"
  for rate in $rates; do
    source_frames "$rate" $frames input.rgba
    gst() { # out.rgba element-properties...
      local out="$1"
      shift
      gst-launch-1.0 -q filesrc location=input.rgba \
        ! rawvideoparse width=$width height=$height format=rgba framerate="$rate" \
        ! frei0r-filter-kivo-vidmixer "$@" ! filesink location="$out" </dev/null >gst.log 2>&1 \
        || { cat gst.log; fail "gst-launch-1.0 failed"; }
    }
    gst got.rgba look=film fade=1 grainwidth=0.03125 mix-g=0.5 mix-b=0 filmquality=true sprocketjump=true \
      sepia=true vignette=true focaldisplacement=0.046875
    reference "$rate" "$film_record" 1 input.rgba want.rgba
    same got.rgba want.rgba "GStreamer film at $rate fps"
    # shellcheck disable=SC2086
    gst got.rgba $defaults
    reference "$rate" "$(record_of 0)" 1 input.rgba want.rgba
    same got.rgba want.rgba "GStreamer, every property at its reported default, at $rate fps"
    distinct got.rgba $frames "GStreamer static at $rate fps"
  done
  ;;
kdenlive)
  # The project as Kdenlive writes it: a clip with the effect, every parameter
  # written, the fade keyed from 0 to 1 over frames 0 to 8. vidmixer gets a
  # key on every frame with the value MLT's linear keys give there.
  keys=$(awk 'BEGIN { for (n = 0; n < 16; n++) { f = n < 8 ? n / 8 : 1;
    printf "%s{ \"frame\": %d, \"position\": [0, 0, 0], \"scale\": [%.17g, %.17g, %.17g] }", n ? ", " : "", n, f, f, f } }')
  # Kdenlive writes times: at 29.97 fps frames 8 and 15 lie at 0.267 s and 0.501 s.
  for rate_times in 25:320:600 30000/1001:267:501; do
    IFS=: read -r rate key end <<< "$rate_times"
    source_nut "$rate" 16 input.nut
    source_frames "$rate" 16 input.rgba
    sed -e "s|frame_rate_num=\"25\" frame_rate_den=\"1\"|frame_rate_num=\"${rate%/*}\" frame_rate_den=\"$([ "${rate#*/}" = "$rate" ] && echo 1 || echo "${rate#*/}")\"|" \
      -e "s|00:00:00.320=|00:00:00.$key=|; s|00:00:00.600|00:00:00.$end|g" "$here/kdenlive_project.kdenlive" > project.kdenlive
    grep -q "frame_rate_num=\"${rate%/*}\"" project.kdenlive || fail "the project's profile was not set to $rate"
    reference "$rate" "$film_record" 1 input.rgba want.rgba "[ $keys ]"
    melt -silent project.kdenlive -consumer avformat:got.rgba f=rawvideo pix_fmt=rgba an=1 real_time=0 \
      </dev/null >melt.log 2>&1 || { cat melt.log; fail "melt failed on the project"; }
    same got.rgba want.rgba "the Kdenlive project at $rate fps"
    # A seek into the middle: frames 5 to 9 alone are those of the whole render.
    melt -silent project.kdenlive in=5 out=9 -consumer avformat:seek.rgba f=rawvideo pix_fmt=rgba an=1 real_time=0 \
      </dev/null >melt.log 2>&1 || { cat melt.log; fail "melt failed on the project's frames 5 to 9"; }
    dd if=got.rgba of=middle.rgba bs=$frame_bytes skip=5 count=5 status=none
    cmp -s seek.rgba middle.rgba || fail "the project's frames 5 to 9 rendered alone differ from the whole render's"
    echo "ok: the Kdenlive project's frames 5 to 9 at $rate fps, rendered alone"
  done
  ;;
*) fail "unknown tool $tool" ;;
esac
