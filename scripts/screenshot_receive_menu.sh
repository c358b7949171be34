#!/usr/bin/env bash
# Screenshot of Tavrin's receive menu (docs/tavrin-context-menu.png): the left
# panel receives from a pseudo-terminal (python3 sends every byte value),
# a few rows are selected by dragging in the text grid, and the menu is
# opened beside them.
#   bash scripts/screenshot_receive_menu.sh [BUILD-DIR]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
out=$root/docs/tavrin-context-menu.png
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

python3 - "$work" <<'PY' &
import os, sys, time, tty
m, s = os.openpty()
tty.setraw(s)
open(f"{sys.argv[1]}/line.tmp", "w").write(os.ttyname(s))
os.rename(f"{sys.argv[1]}/line.tmp", f"{sys.argv[1]}/line")
time.sleep(6)
os.write(m, bytes(range(256)) + b"Hello from the PLC\r\n")
time.sleep(60)
PY
while [ ! -s "$work/line" ]; do sleep 0.1; done

display=":$(( 90 + RANDOM % 100 ))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
for _ in $(seq 1 50); do
  DISPLAY=$display xdotool getdisplaygeometry >/dev/null 2>&1 && break
  sleep 0.2
done
export DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache

(cd "$work" && "$build/console/tavrin" >/dev/null 2>&1) &
id=""
for _ in $(seq 1 50); do
  id=$(xdotool search --name '^Tavrin$' 2>/dev/null | head -n 1 || true)
  [ -n "$id" ] && break
  sleep 0.2
done
[ -n "$id" ] || { echo "no window titled 'Tavrin' appeared" >&2; exit 1; }
sleep 1
xdotool mousemove --window "$id" 90 14 click --repeat 3 1
xdotool key ctrl+a
xdotool type --delay 20 "$(cat "$work/line")"
xdotool mousemove --window "$id" 165 16 click 1
sleep 7
# Drag over the text grid from row 26, column 2 to row 28, column 9.
xdotool mousemove --window "$id" 75 245 mousedown 1 mousemove --window "$id" 215 283 mouseup 1
sleep 0.5
xdotool mousemove --window "$id" 330 232 click 3
sleep 1
geometry=$(xdotool getwindowgeometry "$id" | sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p')
read -r x y <<<"$geometry"
import -window root -crop "774x523+$x+$y" "$out"
echo "screenshot in $out"
