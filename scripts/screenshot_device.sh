#!/usr/bin/env bash
# Screenshot of Tavrin's device window (docs/tavrin-device.png): the left
# panel runs on a pseudo-terminal whose far end (python3) plays a Modbus
# master; "Answer as Device..." is opened from the grid's menu, a table
# loaded through its file dialog, and the master reads the holding
# registers and writes two of them (shown marked).
#   bash scripts/screenshot_device.sh [BUILD-DIR]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
out=$root/docs/tavrin-device.png
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

{
  echo "table,address,value"
  for a in 0 1 2 3 4 5 6 7; do echo "coil,$a,$(( a % 2 ))"; done
  for a in 0 1 2 3; do echo "discrete,$a,$(( (a + 1) % 2 ))"; done
  for a in 0 1 2 3; do echo "input,$a,$(( 500 + a ))"; done
  for a in 0 1 2 3 4 5 6 7 8 9; do echo "holding,$a,$(( 10 * a ))"; done
} >"$work/plant.csv"

PYTHONPATH=$root/scripts python3 - "$work" <<'PY' &
import os, sys, time

from far_end import open_lines, with_crc as crc

m, = open_lines(sys.argv[1], ("pty",))
time.sleep(16)
for n in range(4):
    os.write(m, crc(bytes([1, 3, 0, 0, 0, 10])))
    time.sleep(0.4)
os.write(m, crc(bytes([1, 16, 0, 3, 0, 2, 4, 0x04, 0xD2, 0x10, 0xE1])))
time.sleep(0.4)
os.write(m, crc(bytes([1, 3, 0, 20, 0, 1])))  # past the table: exception 2
time.sleep(60)
PY
while [ ! -s "$work/pty" ]; do sleep 0.1; done

# shellcheck source=virtual_display.sh
source "$root/scripts/virtual_display.sh"
start_virtual_display
export XDG_CONFIG_HOME=$work/config

(cd "$work" && "$build/console/tavrin" >"$work/tavrin.log" 2>&1) &
id=$(window_id Tavrin) || { cat "$work/tavrin.log"; exit 1; }
sleep 1
start_tavrin_panel "$id" "$(cat "$work/pty")" 0
sleep 0.5
# Right-click the left text grid; D is the menu's "Answer as Device...".
xdotool mousemove --window "$id" 150 260 click 3
sleep 0.5
xdotool key d
device=$(window_id "Tavrin Device - $(cat "$work/pty")")
sleep 1
# Alt+L is "Load CSV..."; the dialog takes the path typed.
xdotool key --window "$device" alt+l
sleep 1.5
xdotool type --delay 20 "$work/plant.csv"
xdotool key Return
sleep 1
# The holding registers' tab, the last of four.
xdotool mousemove --window "$device" 330 75 click 1
# The master begins 16 s after its line is open and is done 2 s later.
sleep 15
mkdir -p "$(dirname "$out")"
import -window "$device" "$out"
echo "screenshot in $out"
