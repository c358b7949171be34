#!/usr/bin/env bash
# Sets up a Debian 12 machine for the kit, builds it, and then either starts
# Tavrin (`start`) or runs the whole test suite (`test`).
#
#   bash scripts/setup.sh start   # install, build, start Tavrin
#   bash scripts/setup.sh test    # install, build, run every test
#   KIT_WINDOWS=0 bash scripts/setup.sh test   # ... but the Windows part
#
# Without a display, `start` runs Tavrin on a virtual display, saves a
# screenshot of its window and prints the screenshot's path. `test` first
# says what the first run on a machine costs (building Qt for Windows), and
# shows the builds' progress as percentages (their lines go to logs).
set -euo pipefail

mode=${1:-start}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KIT_BUILD_DIR:-$root/build}
# shellcheck source=progress.sh
source "$root/scripts/progress.sh"

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# A package named "name:arch" of another architecture (wine32:i386) needs that
# architecture known to dpkg before apt-get update can list it.
add_foreign_architectures() {
  local p arch
  for p in "$@"; do
    [[ $p == *:* ]] || continue
    arch=${p##*:}
    if [ "$arch" != "$(dpkg --print-architecture)" ] && ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
      echo "== Adding the $arch architecture to dpkg"
      as_root dpkg --add-architecture "$arch"
    fi
  done
}

install_packages() {
  local wanted=() missing=()
  mapfile -t wanted < <(grep -vE '^\s*(#|$)' "$root/scripts/packages.txt")
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "== Installing: ${missing[*]}"
    add_foreign_architectures "${missing[@]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

build_kit() {
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j"$(nproc)" 2>&1 | build_progress "Building the kit" "$build/build.log" ||
    { tail -n 40 "$build/build.log" >&2; echo "The build failed; all of its output is in $build/build.log" >&2; exit 1; }
}

# Qt for Windows is built once per machine, for the Windows part of the
# tests: about 4,350 CPU-seconds, spread over the machine's cores.
say_first_run_cost() {
  if [ "${KIT_WINDOWS:-1}" = 0 ]; then
    echo "== KIT_WINDOWS=0: the Windows part (Qt for Windows, the Windows kit, the Wine tests) is left out; ctest lists its tests as skipped"
  elif ! bash "$root/scripts/build_qt_windows.sh" --check >/dev/null 2>&1; then
    local cores minutes
    cores=$(nproc)
    minutes=$(( (4350 / (cores < 2 ? 1 : cores) + 59) / 60 ))
    echo "== First run on this machine: building Qt for Windows for the Windows tests first, about 4,350 CPU-seconds (~$minutes minutes on these $cores idle cores, longer on a busy machine; only once). KIT_WINDOWS=0 leaves the Windows part out."
  fi
}

# ctest says which tests it skipped but not why: each one's reason is the
# last line of its output, in ctest's log.
say_why_skipped() {
  local log=$build/Testing/Temporary/LastTest.log name
  [ -f "$log" ] || return 0
  while IFS= read -r name; do
    echo "   $name: $(awk -v name="$name" '
      $0 ~ "^[0-9]+/[0-9]+ Test: " name "$" { inside = 1; next }
      inside && /^<end of output>$/ { print last; exit }
      inside && NF { last = $0 }' "$log")"
  done < <(sed -nE 's/^[[:space:]]+[0-9]+ - (.*) \(Skipped\)$/\1/p' "$1")
}

case "$mode" in
  start)
    install_packages
    build_kit
    mkdir -p "$root/out"
    cd "$root/out"   # Tavrin keeps its history file in the current directory
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
      exec "$build/console/tavrin"
    fi
    shot="$root/out/tavrin.png"
    bash "$root/scripts/screenshot.sh" "$build/console/tavrin" Tavrin "$shot"
    echo "No display here: Tavrin ran on a virtual display. Screenshot: $shot"
    ;;
  test)
    say_first_run_cost
    install_packages
    build_kit
    # Qt for Windows for the Wine tests, from a cache outside the clone: only
    # the first run on a machine builds it. A failure shows in those tests.
    if [ "${KIT_WINDOWS:-1}" != 0 ]; then
      bash "$root/scripts/build_qt_windows.sh" >/dev/null || true
    fi
    cd "$build"
    status=0
    ctest --output-on-failure -j2 --timeout 600 | tee "$build/ctest.log" || status=$?
    if grep -q '(Skipped)$' "$build/ctest.log"; then
      echo "Why they were skipped:"
      say_why_skipped "$build/ctest.log"
    fi
    exit "$status"
    ;;
  *)
    echo "usage: $0 start|test" >&2
    exit 2
    ;;
esac
