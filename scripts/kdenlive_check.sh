#!/usr/bin/env bash
# Checks the effect in a real Kdenlive, as a user installs it: installs the
# plug-in and its Kdenlive description into a private prefix, opens the test
# project (a clip with the effect) in Kdenlive under a virtual display,
# selects the clip and saves a screenshot of the effect's controls.
#   scripts/kdenlive_check.sh [BUILD_DIR] [OUT.png]   (default: build, docs/kdenlive.png)
# Not part of the test suite: Kdenlive is heavy (scripts/setup.sh editors).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
out="$(realpath -m "${2:-$root/docs/kdenlive.png}")"
bash "$root/scripts/setup.sh" editors

work="$(mktemp -d)"
pids=()
stop() {
  # Newest first; dbus-run-session leaves its children, so each is named.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  rm -rf "$work"
}
trap stop EXIT
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

# A 2-second clip, and the test project over it at 640 x 360, the look full on at the start.
ffmpeg -y -nostdin -v error -f lavfi -i testsrc2=size=640x360:rate=25 -frames:v 52 -c:v rawvideo -pix_fmt rgba \
  "$work/clip.nut"
sed -e "s|input.nut|$work/clip.nut|g; s|<property name=\"length\">16|<property name=\"length\">52|g" \
    -e 's|00:00:00.600|00:00:01.960|g; s|00:00:00.000=0;00:00:00.320=1|00:00:00.000=1;00:00:01.000=0.6|' \
    -e 's|width="64" height="48"|width="640" height="360"|; s|display_aspect_num="4" display_aspect_den="3"|display_aspect_num="16" display_aspect_den="9"|' \
    "$root/tests/frei0r/kdenlive_project.kdenlive" > "$work/project.kdenlive"

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
sleep 2
mkdir -p "$work/home" "$work/run"
chmod 700 "$work/run"
export DISPLAY="$display"
env HOME="$work/home" XDG_RUNTIME_DIR="$work/run" FREI0R_PATH="$prefix/lib/frei0r-1" \
  XDG_DATA_DIRS="$prefix/share:/usr/local/share:/usr/share" \
  dbus-run-session -- kdenlive "$work/project.kdenlive" >"$work/kdenlive.log" 2>&1 &
pids+=($!)

window=""
for _ in $(seq 90); do
  window=$(xdotool search --onlyvisible --class kdenlive 2>/dev/null | head -1 || true)
  [ -n "$window" ] && break
  sleep 1
done
[ -n "$window" ] || { cat "$work/kdenlive.log"; echo "kdenlive_check: Kdenlive showed no window" >&2; exit 1; }
sleep 20 # the project loads
for _ in 1 2 3; do # the main window (the first one may have been a splash), as it settles
  window=$(xdotool search --onlyvisible --class kdenlive | tail -1)
  xdotool windowsize "$window" 1600 1000 windowmove "$window" 0 0
  sleep 3
done
# The clip on the timeline, then the effect stack's tab (positions of the default layout at 1600 x 1000).
xdotool mousemove 180 551 click 1
sleep 2
xdotool mousemove 1362 952 click 1
sleep 4
import -window root "$work/screen.png"
# The project monitor and the effect's controls.
convert "$work/screen.png" -crop 660x860+940+0 +repage "$out"
# Kdenlive's and dbus's own processes, children of the session runner.
for pid in $(pgrep -P "${pids[1]}" || true); do pids+=("$pid"); done
echo "kdenlive_check: saved $out"
