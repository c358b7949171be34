#!/usr/bin/env bash
# Sets up a Debian 12 machine for the kit, builds it, and then either starts
# Tavrin (`start`) or runs the whole test suite (`test`).
#
#   bash scripts/setup.sh start   # install, build, start Tavrin
#   bash scripts/setup.sh test    # install, build, run every test
#
# Without a display, `start` runs Tavrin on a virtual display, saves a
# screenshot of its window and prints the screenshot's path.
set -euo pipefail

mode=${1:-start}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KIT_BUILD_DIR:-$root/build}

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
  cmake --build "$build" -j"$(nproc)"
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
    install_packages
    build_kit
    # Qt for Windows for the Wine tests, from a cache outside the clone: only
    # the first run on a machine builds it. A failure shows in those tests.
    bash "$root/scripts/build_qt_windows.sh" >/dev/null || true
    cd "$build"
    ctest --output-on-failure -j2 --timeout 600
    ;;
  *)
    echo "usage: $0 start|test" >&2
    exit 2
    ;;
esac
