#!/usr/bin/env bash
# Cross-builds the Qt-free libraries (discovery, the code page, the sockets
# with telnet) and their Windows tests with mingw-w64 and runs the tests under
# Wine, in a Wine prefix made for the run and removed afterwards. The socket
# tests talk to a listener on this side (net/wintests/socket_peer.py). Both
# Windows architectures are built and run, one after the other, unless the
# first argument names one; further arguments go to the test programs (e.g.
# --gtest_filter=...). The code page tests run twice: in
# Wine's default locale (code page 1252) and in a Traditional Chinese one
# (950), compiled for the run with localedef.
#
#   bash scripts/run_wine_tests.sh              # x86_64, then i686
#   bash scripts/run_wine_tests.sh i686 [args]  # 32-bit Windows only
#
# Where the 32-bit tests cannot run (no wine32, or a kernel that runs no
# 32-bit programs) they are still built, and the run ends with status 77,
# a skip, unless something failed.
#
# KIT_WINE_BUILD_DIR picks the build folder (default: build-wine); each
# architecture builds in a folder of its own below it. KIT_JOBS sets the
# build's parallel jobs (default 2).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_base=${KIT_WINE_BUILD_DIR:-$root/build-wine}

case "${1:-}" in
  x86_64|i686) arches=("$1"); shift ;;
  *) arches=(x86_64 i686) ;;
esac

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# A 32-bit run that cannot happen on this machine ends with this status,
# which ctest reports as a skip.
readonly skipped=77

for tool in cmake wineserver; do
  if ! command -v "$tool" >/dev/null; then
    echo "run_wine_tests: $tool is missing; install scripts/packages.txt" >&2
    exit 1
  fi
done

# run_arch ARCH [test arguments...]
run_arch() {
  local arch=$1; shift
  # Each architecture has a Wine loader of its own (from wine64 and wine32),
  # named here rather than left to the `wine` command's choice.
  local triplet wineArch windowsVersion loader
  case "$arch" in
    x86_64) triplet=x86_64-w64-mingw32 wineArch=win64 windowsVersion=winxp64 loader=/usr/lib/wine/wine64 ;;
    i686) triplet=i686-w64-mingw32 wineArch=win32 windowsVersion=winxp loader=/usr/lib/wine/wine ;;
  esac
  if ! command -v "$triplet-g++-posix" >/dev/null; then
    echo "run_wine_tests: $triplet-g++-posix is missing; install scripts/packages.txt" >&2
    return 1
  fi

  local build=$build_base/$arch
  local began built prepared finished status=0 wineboot_pid= localedef_pid=
  began=$(now_ms)

  # Running the tests needs the loader, and for 32-bit Windows a kernel that
  # runs 32-bit programs (some have that switched off). They are built
  # either way.
  local why_not=
  if [ ! -x "$loader" ]; then
    why_not="$loader is missing (scripts/setup.sh installs it)"
  elif ! "$loader" --version >/dev/null 2>&1; then
    why_not="this machine cannot run $loader (its kernel runs no 32-bit programs?)"
  fi

  if [ -z "$why_not" ]; then
    scratch=$(mktemp -d "${TMPDIR:-/tmp}/kit-wine-$arch.XXXXXX")
    export WINEPREFIX=$scratch/prefix WINEARCH=$wineArch WINEDEBUG=-all
    # No Mono or Gecko installer prompts, and no windows on any display.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    unset DISPLAY WAYLAND_DISPLAY
    # The prefix is made while the build runs: it mostly waits.
    "$loader" wineboot.exe --init >"$scratch/wineboot.log" 2>&1 &
    wineboot_pid=$!
    # Wine takes the ANSI code page from the Unix locale, which needs only to
    # exist in LOCPATH.
    mkdir -p "$scratch/locale"
    localedef -i zh_TW -f UTF-8 "$scratch/locale/zh_TW.UTF-8" >"$scratch/localedef.log" 2>&1 &
    localedef_pid=$!
  fi

  # -O2 as in the native build (GCC 12 gives false -Wrestrict warnings at
  # -O3), without the debug information that would only slow the build down.
  # At -O2 no frame pointer puts the stack right after a call, so a call
  # through a wrongly declared calling convention shows in the tests.
  cmake -S "$root" -B "$build" -DKIT_DISCOVERY_ONLY=ON \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$arch.cmake" >/dev/null || return 1
  cmake --build "$build" --target discovery_wintests codepage_wintests net_wintests -j"${KIT_JOBS:-2}" || return 1
  built=$(now_ms)

  if [ -n "$why_not" ]; then
    echo "run_wine_tests: the $arch tests were built but not run: $why_not" >&2
    return "$skipped"
  fi
  if ! wait "$wineboot_pid"; then
    cat "$scratch/wineboot.log" >&2
    return 1
  fi
  # GetVersion then reports Windows XP (x64), of the NT 5 family.
  "$loader" winecfg.exe -v "$windowsVersion" || return 1
  prepared=$(now_ms)

  if ! wait "$localedef_pid"; then
    cat "$scratch/localedef.log" >&2
    return 1
  fi

  (cd "$build/discovery/wintests" && "$loader" ./discovery_wintests.exe "$@") || status=$?
  (cd "$build/codepage/wintests" && KIT_EXPECTED_ACP=1252 "$loader" ./codepage_wintests.exe "$@") || status=$?
  (cd "$build/codepage/wintests" && LOCPATH=$scratch/locale LANG=zh_TW.UTF-8 LC_ALL=zh_TW.UTF-8 \
    KIT_EXPECTED_ACP=950 "$loader" ./codepage_wintests.exe "$@") || status=$?
  # The peer prints its two ports, then serves until its input closes.
  local ports= waited peer_input
  exec {peer_input}> >(python3 "$root/net/wintests/socket_peer.py" >"$scratch/peer.ports" 2>"$scratch/peer.log")
  for waited in $(seq 100); do
    ports=$(head -n 1 "$scratch/peer.ports" 2>/dev/null || true)
    [ -n "$ports" ] && break
    sleep 0.1
  done
  if [ -n "$ports" ]; then
    (cd "$build/net/wintests" && KIT_PEER_PORTS=$ports "$loader" ./net_wintests.exe "$@") || status=$?
  else
    echo "run_wine_tests: the socket peer did not start" >&2
    cat "$scratch/peer.log" >&2
    status=1
  fi
  exec {peer_input}>&-
  finished=$(now_ms)

  echo "Wine part ($arch): $((finished - began)) ms in all (build $((built - began)) ms," \
    "prefix ready $((prepared - built)) ms later, tests $((finished - prepared)) ms)"
  wineserver -k 2>/dev/null || true
  rm -rf "$scratch"
  scratch=
  return "$status"
}

scratch=
cleanup() {
  if [ -n "$scratch" ]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$scratch"
  fi
}
trap cleanup EXIT

# Every architecture runs; a failure outweighs a skip.
overall=0
for arch in "${arches[@]}"; do
  result=0
  run_arch "$arch" "$@" || result=$?
  if [ "$result" -ne 0 ] && { [ "$overall" -eq 0 ] || [ "$overall" -eq "$skipped" ]; }; then
    overall=$result
  fi
done
exit "$overall"
