#!/usr/bin/env bash
# Screenshot of Tavrin's traffic view (docs/tavrin-traffic.png): two
# pseudo-terminals play a Modbus master on the left panel's line and its
# slave on the right one (python3 is the far end of both); the view is
# opened from the left grid's menu with the Modbus RTU check kept in the
# settings, as a user would have chosen it. At the end the right line goes
# away (a fault row).
#   bash scripts/screenshot_traffic.sh [BUILD-DIR]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
out=$root/docs/tavrin-traffic.png
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

mkdir -p "$work/config/Tavrin"
printf '[Traffic]\nSplit=gap\nGapMs=20\nCheck=modbus-rtu\n' >"$work/config/Tavrin/Tavrin.conf"

PYTHONPATH=$root/scripts python3 - "$work" <<'PY' &
import os, sys, time

from far_end import open_lines, with_crc as crc

left, right = open_lines(sys.argv[1], ("left", "right"))
time.sleep(8)
for n in range(11):
    register = n % 4
    os.write(left, crc(bytes([1, 3, 0, register * 2, 0, 2])))
    time.sleep(0.023 + 0.004 * (n % 3))
    answer = crc(bytes([1, 3, 4, 0, 10 + n, 0, 200 - n]))
    if n % 7 == 5:  # a reply damaged on the line
        answer = answer[:-1] + bytes([answer[-1] ^ 0x5A])
    os.write(right, answer)
    time.sleep(0.25)
os.close(right)  # the slave's adapter is unplugged
time.sleep(60)
PY
while [ ! -s "$work/left" ] || [ ! -s "$work/right" ]; do sleep 0.1; done

# shellcheck source=virtual_display.sh
source "$root/scripts/virtual_display.sh"
start_virtual_display
export XDG_CONFIG_HOME=$work/config

(cd "$work" && "$build/console/tavrin" >/dev/null 2>&1) &
id=$(window_id Tavrin)
sleep 1
start_tavrin_panel "$id" "$(cat "$work/left")" 0
sleep 0.5
start_tavrin_panel "$id" "$(cat "$work/right")" 1
sleep 0.5
# Right-click the left text grid; T is the menu's "Traffic View...".
xdotool mousemove --window "$id" 150 260 click 3
sleep 0.5
xdotool key t
view=$(window_id "Tavrin Traffic")
sleep 10
# The fault's "COM Port Error." box is in front: Return closes it.
xdotool key Return
sleep 1
mkdir -p "$(dirname "$out")"
import -window "$view" "$out"
echo "screenshot in $out"
