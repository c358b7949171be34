#!/usr/bin/env bash
# Cross-builds the discovery library and its Windows tests with mingw-w64 and
# runs the tests under Wine, in a Wine prefix made for this run and removed
# afterwards. Arguments go to the test program (e.g. --gtest_filter=...).
#
#   bash scripts/run_wine_tests.sh
#
# KIT_WINE_BUILD_DIR picks the build folder (default: build-wine).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KIT_WINE_BUILD_DIR:-$root/build-wine}

for tool in x86_64-w64-mingw32-g++-posix wine wineboot winecfg wineserver; do
  if ! command -v "$tool" >/dev/null; then
    echo "run_wine_tests: $tool is missing; install scripts/packages.txt" >&2
    exit 1
  fi
done

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
began=$(now_ms)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kit-wine.XXXXXX")
export WINEPREFIX=$scratch/prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installer prompts, and no windows on any display.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

# The prefix is made while the build runs: it mostly waits.
wineboot --init >"$scratch/wineboot.log" 2>&1 &
wineboot_pid=$!

# -O2 as in the native build (GCC 12 gives false -Wrestrict warnings at -O3),
# without the debug information that would only slow the build down.
cmake -S "$root" -B "$build" -DKIT_DISCOVERY_ONLY=ON \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" --target discovery_wintests -j"${KIT_JOBS:-2}"
built=$(now_ms)

if ! wait "$wineboot_pid"; then
  cat "$scratch/wineboot.log" >&2
  exit 1
fi
# GetVersion then reports Windows XP x64, of the NT 5 family.
winecfg -v winxp64
prepared=$(now_ms)

status=0
(cd "$build/discovery/wintests" && wine ./discovery_wintests.exe "$@") || status=$?
finished=$(now_ms)

echo "Wine part: $((finished - began)) ms in all (build $((built - began)) ms," \
  "prefix ready $((prepared - built)) ms later, tests $((finished - prepared)) ms)"
exit "$status"
