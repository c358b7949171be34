#!/usr/bin/env bash
# Screenshots of Tavrin's history window on a virtual display: its context
# menu with the Check submenu open, and the Send Repeatedly window sending
# a Modbus request. The left panel is started on a pseudo-terminal whose far
# end (python3) reads and drops what arrives; the history file is made with
# sqlite3 beforehand, with send options for two rows.
#   bash scripts/screenshots_transmit.sh [BUILD-DIR]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
docs=$root/docs
mkdir -p "$docs"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

sqlite3 "$work/TstHis.db" <<'SQL'
CREATE TABLE TrsData (ID INTEGER PRIMARY KEY AUTOINCREMENT, "Text" TEXT, "Data" TEXT, "Remark" TEXT, "MD" DATETIME);
INSERT INTO TrsData ("Text", "Data", "Remark", "MD") VALUES
  ('Txt', 'ATI', 'modem id', '2026-12-07T09:00:00.000'),
  ('Hex', '01,03,00,00,00,0A', 'read 10 registers', '2026-12-07T09:10:00.000'),
  ('Txt', 'AT', 'attention', '2026-12-07T09:20:00.000');
CREATE TABLE TrsSendOptions (RowId INTEGER PRIMARY KEY, LineEnd TEXT, "Check" TEXT);
INSERT INTO TrsSendOptions VALUES (3, 'crlf', 'none'), (2, 'none', 'modbus-rtu');
SQL

python3 - "$work/pty" <<'PY' &
import os, select, sys, time, tty
m, s = os.openpty()
tty.setraw(s)
open(sys.argv[1] + ".tmp", "w").write(os.ttyname(s))
os.rename(sys.argv[1] + ".tmp", sys.argv[1])
end = time.time() + 60
while time.time() < end:
    if select.select([m], [], [], 0.2)[0]:
        os.read(m, 4096)
PY
while [ ! -s "$work/pty" ]; do sleep 0.1; done

# shellcheck source=virtual_display.sh
source "$root/scripts/virtual_display.sh"
start_virtual_display

(cd "$work" && "$build/console/tavrin" >/dev/null 2>&1) &
main=$(window_id Tavrin)
sleep 1
start_tavrin_panel "$main" "$(cat "$work/pty")"
sleep 1
# The left panel's Transmit button.
xdotool mousemove --window "$main" 200 503 click 1
transmit=$(window_id Transmit)
sleep 1
read -r tx ty <<<"$(window_origin "$transmit")"

# Right-click the Hex row, then open Check.
xdotool mousemove --window "$transmit" 120 63 click 3
sleep 0.5
xdotool mousemove $(( tx + 175 )) $(( ty + 96 ))
sleep 0.8
import -window root -crop 620x290+$(( tx - 10 ))+$(( ty - 20 )) "$docs/tavrin-transmit-menu.png"

# Send Repeatedly... every 200 ms, 50 times; the shot after a few sends.
xdotool mousemove $(( tx + 203 )) $(( ty + 119 )) click 1
repeat=$(window_id "Send Repeatedly")
sleep 0.5
xdotool mousemove --window "$repeat" 206 70 click --repeat 3 1
xdotool type --delay 20 200
xdotool mousemove --window "$repeat" 206 97 click --repeat 3 1
xdotool type --delay 20 50
xdotool key alt+s
sleep 2.3
read -r rx ry <<<"$(window_origin "$repeat")"
import -window root -crop 560x300+$(( rx - 60 ))+$(( ry - 20 )) "$docs/tavrin-send-repeatedly.png"
echo "screenshots in $docs"
