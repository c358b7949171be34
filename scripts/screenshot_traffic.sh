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

python3 - "$work" <<'PY' &
import os, sys, time, tty

def crc(frame):
    c = 0xFFFF
    for b in frame:
        c ^= b
        for _ in range(8):
            c = (c >> 1) ^ 0xA001 if c & 1 else c >> 1
    return frame + bytes([c & 0xFF, c >> 8])

ends = []
for name in ("left", "right"):
    m, s = os.openpty()
    tty.setraw(s)
    open(f"{sys.argv[1]}/{name}.tmp", "w").write(os.ttyname(s))
    os.rename(f"{sys.argv[1]}/{name}.tmp", f"{sys.argv[1]}/{name}")
    ends.append(m)
left, right = ends
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

display=":$(( 90 + RANDOM % 100 ))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
for _ in $(seq 1 50); do
  DISPLAY=$display xdotool getdisplaygeometry >/dev/null 2>&1 && break
  sleep 0.2
done
export DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME=$work/config

# Prints the id of the window titled $1 once it is there.
window() {
  for _ in $(seq 1 50); do
    xdotool search --name "^$1\$" 2>/dev/null | head -n 1 | grep . && return
    sleep 0.2
  done
  echo "no window titled '$1' appeared" >&2
  exit 1
}

(cd "$work" && "$build/console/tavrin" >/dev/null 2>&1) &
id=$(window Tavrin)
sleep 1
# Each panel: type the pseudo-terminal into its port box, tick Start.
for panel in "0:left" "386:right"; do
  IFS=: read -r dx name <<<"$panel"
  xdotool mousemove --window "$id" $((90 + dx)) 14 click --repeat 3 1
  xdotool key ctrl+a
  xdotool type --delay 20 "$(cat "$work/$name")"
  xdotool mousemove --window "$id" $((165 + dx)) 16 click 1
  sleep 0.5
done
# Right-click the left text grid; T is the menu's "Traffic View...".
xdotool mousemove --window "$id" 150 260 click 3
sleep 0.5
xdotool key t
view=$(window "Tavrin Traffic")
sleep 10
# The fault's "COM Port Error." box is in front: Return closes it.
xdotool key Return
sleep 1
mkdir -p "$(dirname "$out")"
import -window "$view" "$out"
echo "screenshot in $out"
