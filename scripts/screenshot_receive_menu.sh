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

# shellcheck source=virtual_display.sh
source "$root/scripts/virtual_display.sh"
start_virtual_display
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache

(cd "$work" && "$build/console/tavrin" >/dev/null 2>&1) &
id=$(window_id Tavrin)
sleep 1
start_tavrin_panel "$id" "$(cat "$work/line")"
sleep 7
# Drag over the text grid from row 26, column 2 to row 28, column 9.
xdotool mousemove --window "$id" 75 245 mousedown 1 mousemove --window "$id" 215 283 mouseup 1
sleep 0.5
xdotool mousemove --window "$id" 330 232 click 3
sleep 1
read -r x y <<<"$(window_origin "$id")"
import -window root -crop "774x523+$x+$y" "$out"
echo "screenshot in $out"
