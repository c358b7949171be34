#!/usr/bin/env bash
# A cached Qt for Windows is used only while every file its install listed in
# .complete is there as listed: build_qt_windows.sh --check over a made-up cache.
set -euo pipefail
check="bash $(dirname "${BASH_SOURCE[0]}")/../../scripts/build_qt_windows.sh --check"
export KIT_QT_WINDOWS_CACHE
KIT_QT_WINDOWS_CACHE=$(mktemp -d)
trap 'rm -rf "$KIT_QT_WINDOWS_CACHE"' EXIT
failures=0
# expect WHAT STATUS
expect() {
  local status=0
  $check >/dev/null || status=$?
  [ "$status" -eq "$2" ] || { echo "FAIL: $1: --check ended with $status, not $2"; failures=$((failures + 1)); }
}

prefix=$($check || true)
expect "no cache" 1
mkdir -p "$prefix/bin"
echo Qt6Core >"$prefix/bin/Qt6Core.dll"
echo Qt6Gui >"$prefix/bin/Qt6Gui.dll"
expect "an install that stopped before its list" 1
list=$(cd "$prefix" && find . -type f -printf '%s %P\n' | LC_ALL=C sort)   # size and path, sorted
echo "$list" >"$prefix/.complete"
expect "whole" 0
echo Qt6 >"$prefix/bin/Qt6Core.dll"
expect "a file cut short" 1
echo Qt6Core >"$prefix/bin/Qt6Core.dll"
rm "$prefix/bin/Qt6Gui.dll"
expect "a file lost" 1
exit $(( failures > 0 ))
