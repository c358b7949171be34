#!/usr/bin/env bash
# Refreshes the README's screenshots in docs/: each program on a virtual
# display. Tavrin is shown receiving from a pseudo-terminal (python3 plays
# the far end), typed into its left port box as a user would.
#   bash scripts/screenshots.sh [BUILD-DIR]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
docs=$root/docs
mkdir -p "$docs"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

# Far end: a pseudo-terminal that sends every byte value, then some text.
python3 - "$work/pty" <<'PY' &
import os, sys, time, tty
m, s = os.openpty()
tty.setraw(s)
open(sys.argv[1] + ".tmp", "w").write(os.ttyname(s))
os.rename(sys.argv[1] + ".tmp", sys.argv[1])
time.sleep(6)
os.write(m, bytes(range(256)) + b"Hello, PLC!\r\n" * 3)
time.sleep(30)
PY
while [ ! -s "$work/pty" ]; do sleep 0.1; done

display=":$(( 90 + RANDOM % 100 ))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
sleep 1
export DISPLAY=$display QT_QPA_PLATFORM=xcb

(cd "$work" && "$build/console/tavrin" >/dev/null 2>&1) &
app=$!
for _ in $(seq 1 50); do
  id=$(xdotool search --name '^Tavrin$' 2>/dev/null | head -n 1 || true)
  [ -n "$id" ] && break
  sleep 0.2
done
sleep 1
xdotool mousemove --window "$id" 90 14 click --repeat 3 1
xdotool key ctrl+a
xdotool type --delay 20 "$(cat "$work/pty")"
xdotool mousemove --window "$id" 165 16 click 1
sleep 6
import -window "$id" "$docs/tavrin.png"
kill $app

for program in "portcheck/pelurk:USB_COM_PortNum:pelurk" "configurator/morvex:藍牙通訊設定:morvex"; do
  IFS=: read -r exe title name <<<"$program"
  if [ -x "$build/$exe" ]; then
    (cd "$work" && bash "$root/scripts/screenshot.sh" "$build/$exe" "$title" "$docs/$name.png" 2)
  fi
done
echo "screenshots in $docs"
