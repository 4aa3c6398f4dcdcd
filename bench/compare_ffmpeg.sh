#!/usr/bin/env bash
# Compares whole renders by vidmixer with the nearest ffmpeg job, in one run
# on this machine: bench/compare_ffmpeg.sh [BUILD_DIR] [FRAMES] [SIZE]
# (default build, 60 frames, 1920x1080). It makes its own input with ffmpeg
# (testsrc2 as a PNG sequence and an H.264 mp4), runs each job with vidmixer
# and with ffmpeg in turn, three times, and prints the median wall times, the
# total size of each one's output, the ratios vidmixer / ffmpeg and
# vidmixer's peak memory.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
frames="${2:-60}"
size="${3:-1920x1080}"
runs=3
vidmixer="$build/vidmixer"
[ -x "$vidmixer" ] || { echo "no $vidmixer; build first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is not installed" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/kivo-compare-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "Making $frames frames of $size testsrc2 in $work ..." >&2
mkdir -p in
ffmpeg -v error -f lavfi -i "testsrc2=size=$size:rate=24" -frames:v "$frames" -start_number 1 in/%04d.png
ffmpeg -v error -f lavfi -i "testsrc2=size=$size:rate=24" -frames:v "$frames" -c:v libx264 -pix_fmt yuv420p in.mp4

# The looks at full strength: the fade item's scale is 1 on every frame.
scene() { # FILE RECORD
  cat >"$1" <<EOF
{"format": "kivo-vidmixer-scene", "version": 1, "fps": 24.0, "first_frame": 1, "last_frame": $frames,
 "items": [{"id": 1, "name": "Fade", "keys": [{"frame": 1.0, "position": [0, 0, 0], "scale": [1, 1, 1]}]}],
 "filters": [{"server": "Kivo_VidMixer", "record": "$2"}]}
EOF
}
scene negative.json "1 1 1 0 0 1 0 3 255 255 255 0 0 0 0 0 0 1"
# B&W Film: Old'n'Dusty, sprocket jump, sepia and vignette.
scene film.json "1 1 1 0 0 1 0 2 255 255 255 1 1 0 1 1 0 1"

# Wall seconds and peak resident kilobytes of one command, and the bytes it
# wrote to OUT_DIR.
measure() { # OUT_DIR COMMAND...
  local out="$1"
  rm -rf "$out" && mkdir -p "$out"
  shift
  /usr/bin/time -f "%e %M" -o "$work/.time" "$@" >/dev/null 2>"$work/.stderr" ||
    { cat "$work/.stderr" >&2; exit 1; }
  echo "$(cat "$work/.time") $(find "$out" -type f -printf "%s\n" | awk "{ s += \$1 } END { print s + 0 }")"
}

median() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }

job() { # NAME TARGET -- VIDMIXER... -- FFMPEG...
  local name="$1" target="$2"
  shift 3
  local vm=() ff=()
  while [ "$1" != "--" ]; do vm+=("$1"); shift; done
  shift
  ff=("$@")
  local vt=() ft=() vs=() fs=() peak=0 t m b
  for ((i = 0; i < runs; i++)); do
    read -r t m b < <(measure out "${vm[@]}")
    vt+=("$t"); vs+=("$b"); [ "$m" -gt "$peak" ] && peak=$m
    read -r t m b < <(measure out "${ff[@]}")
    ft+=("$t"); fs+=("$b")
  done
  local v f vb fb
  v=$(median "${vt[@]}")
  f=$(median "${ft[@]}")
  vb=$(median "${vs[@]}")
  fb=$(median "${fs[@]}")
  printf '| %s | %.2f | %.2f | %.2f | %.1f | %.1f | %.2f | %s | %d |\n' "$name" "$v" "$f" \
    "$(awk "BEGIN { print $v / $f }")" "$(awk "BEGIN { print $vb / 1e6 }")" "$(awk "BEGIN { print $fb / 1e6 }")" \
    "$(awk "BEGIN { print $vb / $fb }")" "$target" $((peak / 1024))
}

echo
echo "$frames frames of $size testsrc2, median of $runs runs, $(nproc) cores"
echo
echo "| job | vidmixer s | ffmpeg s | time vidmixer / ffmpeg | vidmixer MB | ffmpeg MB | size vidmixer / ffmpeg | target (time, size) | vidmixer peak MB |"
echo "|---|---|---|---|---|---|---|---|---|"
# Both write the same frames, each at its default PNG compression.
job "Negative, PNG sequence to PNG sequence" "at most 1.0, at most 1.0" -- \
  "$vidmixer" render negative.json -q -i in/%04d.png -o out/%04d.png -- \
  ffmpeg -v error -y -i in/%04d.png -vf negate out/%04d.png
# ffmpeg's libx264 runs at its default CRF 23; vidmixer is given the same.
job "Negative, mp4 to mp4 (H.264)" "at most 1.2, -" -- \
  "$vidmixer" render negative.json -q -i in.mp4 -o out/out.mp4 --codec libx264 --codec-option crf=23 -- \
  ffmpeg -v error -y -i in.mp4 -vf negate -c:v libx264 out/out.mp4
job "B&W Film (Old'n'Dusty, sprocket jump, sepia, vignette), PNG to PNG" "at most 0.5, -" -- \
  "$vidmixer" render film.json -q -i in/%04d.png -o out/%04d.png -- \
  ffmpeg -v error -y -i in/%04d.png \
  -vf "hue=s=0,noise=alls=25:allf=t+u,vignette=PI/4,colorchannelmixer=.393:.769:.189:0:.349:.686:.168:0:.272:.534:.131" \
  out/%04d.png
