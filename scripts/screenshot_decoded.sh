#!/usr/bin/env bash
# Screenshots of Tavrin's traffic view with Modbus RTU chosen
# (docs/tavrin-decoded.png: the decoded rows, the chosen answer's fields and
# its bytes; docs/tavrin-statistics.png: the Statistics window). Two
# pseudo-terminals play a Modbus master on the left panel's line and its
# slaves (stations 1, 2 and 17) on the right one (python3 is the far end of
# both): reads of holding registers and their answers, one exception
# answer, one answer that never comes and one damaged on the line.
#   bash scripts/screenshot_decoded.sh [BUILD-DIR]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
view_out=$root/docs/tavrin-decoded.png
stats_out=$root/docs/tavrin-statistics.png
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

mkdir -p "$work/config/Tavrin"
printf '[Traffic]\nSplit=gap\nGapMs=20\nProtocol=modbus-rtu\nReplyTimeoutMs=200\n' >"$work/config/Tavrin/Tavrin.conf"

PYTHONPATH=$root/scripts python3 - "$work" <<'PY' &
import os, sys, time

from far_end import open_lines, with_crc as crc

left, right = open_lines(sys.argv[1], ("left", "right"))
time.sleep(8)
stations = (1, 2, 17)
for n in range(14):
    unit = stations[n % 3]
    address, count = 100 * (n % 4), 2 + n % 3
    os.write(left, crc(bytes([unit, 3, address >> 8, address & 0xFF, 0, count])))
    time.sleep(0.004 + 0.002 * (n % 4))
    if n == 7:  # this answer never comes
        time.sleep(0.3)
        continue
    if n == 4:  # illegal data address
        answer = crc(bytes([unit, 0x83, 2]))
    else:
        values = b"".join(bytes([0, 10 * unit + n + i]) for i in range(count))
        answer = crc(bytes([unit, 3, 2 * count]) + values)
    if n == 10:  # damaged on the line
        answer = answer[:-1] + bytes([answer[-1] ^ 0x5A])
    os.write(right, answer)
    time.sleep(0.3)
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
xdotool windowsize "$view" 1180 760
sleep 12
# The last answer, then a register of it in the field tree.
xdotool mousemove --window "$view" 400 120 click 1
xdotool key ctrl+End Up Up
sleep 0.5
xdotool mousemove --window "$view" 120 520 click 1
xdotool key Down
sleep 1
mkdir -p "$(dirname "$view_out")"
import -window "$view" "$view_out"
xdotool key ctrl+t
stats=$(window_id "Tavrin Traffic - Statistics")
sleep 2
import -window "$stats" "$stats_out"
echo "screenshots in $view_out and $stats_out"
