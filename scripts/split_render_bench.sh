#!/usr/bin/env bash
# Replay and parallel jobs against their peers, in one run: frames per
# second of replaying (filtering without writing) against rendering, and
# the time of --jobs 2 against --jobs 1 on a film scene with segments.
# Usage: split_render_bench.sh [BUILD_DIR] [WIDTHxHEIGHT] [FRAMES]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
size="${2:-640x360}"
frames="${3:-96}"
vidmixer="$build/vidmixer"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

mkdir in
ffmpeg -v error -f lavfi -i "testsrc=size=$size:rate=24" -frames:v "$frames" -start_number 1 in/%04d.png
"$vidmixer" new scene.json --frames "1-$frames" >/dev/null
sed -i 's/"record": "[^"]*"/"record": "0 1 1 0 0 1 0 2 255 255 255 1 0 0 0 0 0 1"/' scene.json
sed "s/\"last_frame\": $frames,/\"last_frame\": $frames,\n  \"segment\": $((frames / 8)),/" scene.json >segments.json

seconds() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N); echo "$t1 - $t0" | bc -l; }

one=$(seconds "$vidmixer" render scene.json -i 'in/####.png' -o 'a/####.png' --frames 1-1 -q)
full=$(seconds "$vidmixer" render scene.json -i 'in/####.png' -o 'b/####.png' -q)
last=$(seconds "$vidmixer" render scene.json -i 'in/####.png' -o 'c/####.png' --frames "$frames-$frames" -q)
render_fps=$(echo "($frames - 1) / ($full - $one)" | bc -l)
replay_fps=$(echo "($frames - 1) / ($last - $one)" | bc -l)
printf 'render:  %.1f fps (%s frames of %s, film Old'"'"'n'"'"'Dusty, PNG to PNG)\n' "$render_fps" "$frames" "$size"
printf 'replay:  %.1f fps, %.2f x render\n' "$replay_fps" "$(echo "$replay_fps / $render_fps" | bc -l)"

jobs1=$(seconds "$vidmixer" render segments.json -i 'in/####.png' -o 'd/####.png' -q --jobs 1)
jobs2=$(seconds "$vidmixer" render segments.json -i 'in/####.png' -o 'e/####.png' -q --jobs 2)
printf -- '--jobs 1: %.2f s, --jobs 2: %.2f s, speed-up %.2f x (%s cores)\n' "$jobs1" "$jobs2" \
  "$(echo "$jobs1 / $jobs2" | bc -l)" "$(nproc)"
for f in d/*.png; do cmp -s "$f" "e/${f#d/}" || { echo "frame ${f#d/} differs between --jobs 1 and 2"; exit 1; }; done
