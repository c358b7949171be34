#!/bin/bash
# CPU time Pelurk's window spends while it sits idle and watches for bridges:
# user + system time from /proc/<pid>/stat over a quiet interval.
#   bash bench/portcheck/idle_cpu.sh [build/portcheck/pelurk] [seconds] [pelurk options...]
# Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
set -euo pipefail
pelurk=${1:-build/portcheck/pelurk}
seconds=${2:-60}
shift $(( $# > 2 ? 2 : $# ))
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

"$pelurk" "$@" &
pid=$!
trap 'kill $pid 2>/dev/null' EXIT
sleep 3 # past start-up and the first scan

ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep "$seconds"
after=$(ticks)
used=$(( after - before ))
echo "pelurk idle for ${seconds} s: ${used} clock ticks (${hz}/s) of user+system time"
awk -v t="$used" -v hz="$hz" -v s="$seconds" \
    'BEGIN { printf "  = %.3f s of CPU, %.4f %% of one core\n", t / hz, 100 * t / hz / s }'
