#!/usr/bin/env bash
# The cached Qt for Windows is used only when every file its install wrote is
# there as written: scripts/build_qt_windows.sh --check, over a made-up cache.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export KIT_QT_WINDOWS_CACHE
KIT_QT_WINDOWS_CACHE=$(mktemp -d)
trap 'rm -rf "$KIT_QT_WINDOWS_CACHE"' EXIT
failures=0

# expect WHAT STATUS: --check must end with STATUS.
expect() {
  local status=0
  bash "$root/scripts/build_qt_windows.sh" --check >/dev/null || status=$?
  if [ "$status" -ne "$2" ]; then
    echo "FAIL: $1: --check ended with $status, not $2"
    failures=$((failures + 1))
  fi
}

expect "no cache" 1
prefix=$(bash "$root/scripts/build_qt_windows.sh" --check || true)
mkdir -p "$prefix/bin" "$prefix/plugins/platforms"
echo "Qt6Core" >"$prefix/bin/Qt6Core.dll"
echo "qwindows" >"$prefix/plugins/platforms/qwindows.dll"
expect "installed, without its list of files (an install that stopped)" 1
# The list an install writes: size and path of every file, sorted.
list=$(cd "$prefix" && find . -type f -printf '%s %P\n' | LC_ALL=C sort)
echo "$list" >"$prefix/.complete"
expect "whole" 0
echo "Qt6" >"$prefix/bin/Qt6Core.dll"
expect "a file cut short" 1
echo "Qt6Core" >"$prefix/bin/Qt6Core.dll"
rm "$prefix/plugins/platforms/qwindows.dll"
expect "a file lost" 1
exit $(( failures > 0 ))
