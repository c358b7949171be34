#!/usr/bin/env bash
# Screenshot of the Other Baud Rate dialog refusing a typed text
# (docs/tavrin-other-baud-rate.png): the grid menu's item, "1152OO" typed
# (letter O for zero, as a hurried hand types it), then OK.
#   bash scripts/screenshot_other_baud_rate.sh [BUILD-DIR]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
out=$root/docs/tavrin-other-baud-rate.png
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

# shellcheck source=virtual_display.sh
source "$root/scripts/virtual_display.sh"
start_virtual_display
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache

(cd "$work" && "$build/console/tavrin" >/dev/null 2>&1) &
id=$(window_id Tavrin)
sleep 1
# The text grid's menu, then its "Other Baud Rate..." by its key.
xdotool mousemove --window "$id" 150 260 click 3
sleep 0.5
xdotool key b
dialog=$(window_id "Other Baud Rate")
sleep 0.5
xdotool key ctrl+a
xdotool type --delay 20 "1152OO"
xdotool key Return
sleep 1
import -window "$dialog" "$out"
echo "screenshot in $out"
