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

# shellcheck source=virtual_display.sh
source "$root/scripts/virtual_display.sh"
start_virtual_display

(cd "$work" && "$build/console/tavrin" >/dev/null 2>&1) &
app=$!
id=$(window_id Tavrin)
sleep 1
start_tavrin_panel "$id" "$(cat "$work/pty")"
sleep 6
import -window "$id" "$docs/tavrin.png"
kill $app

for program in "portcheck/pelurk:USB_COM_PortNum:pelurk" "configurator/morvex:藍牙通訊設定:morvex"; do
  IFS=: read -r exe title name <<<"$program"
  if [ -x "$build/$exe" ]; then
    (cd "$work" && bash "$root/scripts/screenshot.sh" "$build/$exe" "$title" "$docs/$name.png" 2)
  fi
done
# The device window, by a script of its own.
bash "$root/scripts/screenshot_device.sh" "$build"
# The traffic view with a protocol chosen, its field tree and statistics.
bash "$root/scripts/screenshot_decoded.sh" "$build"
echo "screenshots in $docs"
