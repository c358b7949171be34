#!/usr/bin/env bash
# Runs a program on a virtual display, waits for its window, saves a
# screenshot of that window and ends the program.
#   bash scripts/screenshot.sh PROGRAM WINDOW-TITLE OUT.png [SECONDS]
set -euo pipefail
program=$1 title=$2 out=$3 wait=${4:-3}

display=":$(( 90 + RANDOM % 100 ))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $app $xvfb 2>/dev/null || true' EXIT
sleep 1

DISPLAY=$display QT_QPA_PLATFORM=xcb "$program" >/dev/null 2>&1 &
app=$!

id=""
for _ in $(seq 1 50); do
  id=$(DISPLAY=$display xdotool search --name "^${title}\$" 2>/dev/null | head -n 1 || true)
  [ -n "$id" ] && break
  sleep 0.2
done
if [ -z "$id" ]; then
  echo "no window titled '$title' appeared" >&2
  exit 1
fi
sleep "$wait"
mkdir -p "$(dirname "$out")"
DISPLAY=$display import -window "$id" "$out"
