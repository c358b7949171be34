#!/usr/bin/env bash
# Screenshots of the Windows build under Wine for the README (docs/*-wine.png):
# each program started from its folder in dist/ as a user receives it, inside
# a Wine desktop on a virtual display, in a Wine prefix made for the run.
# Morvex and Pelurk find the vendor DLL's test double beside them (no bridge
# attached), as the Linux screenshots show them. Then the installer's first
# page, and Tavrin installed by it and started from its Start-menu shortcut.
#
#   bash scripts/screenshots_wine.sh [WINDOWS-BUILD-DIR] [DISPLAY]
#
# WINDOWS-BUILD-DIR is what scripts/build_windows_kit.sh made (default:
# build/windows); DISPLAY a free display number for Xvfb (default :97).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
kit=$(cd "${1:-$root/build/windows}" && pwd)
display=${2:-:97}
docs=$root/docs

work=$(mktemp -d "${TMPDIR:-/tmp}/kit-shots.XXXXXX")
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export DISPLAY=$display
# The 64-bit loader and server by name: a 32-bit Wine beside them would make
# plain `wine` pick a loader that cannot run here.
wine=$(command -v /usr/lib/wine/wine64 wine64 wine | head -n 1)
wineserver=$(command -v /usr/lib/wine/wineserver64 wineserver64 wineserver | head -n 1)
export WINELOADER=$wine WINESERVER=$wineserver
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir "$WINEPREFIX"
"$wineserver" -p >/dev/null 2>&1
"$wine" wineboot.exe --init >/dev/null 2>&1

# shoot FOLDER EXE OUT.png WIDTHxHEIGHT
shoot() {
  local folder=$1 exe=$2 out=$3 size=$4
  cp -r "$kit/dist/$folder" "$work/$folder"
  cp "$kit/wintest/CP210xManufacturing.dll" "$work/$folder/"
  (cd "$work/$folder" && "$wine" explorer.exe "/desktop=$folder,$size" "$exe" >/dev/null 2>&1 &)
  shoot_desktop "$folder" "$out"
}

# shoot_desktop NAME OUT.png: the Wine desktop NAME, once its window is drawn.
shoot_desktop() {
  local folder=$1 out=$2 id=""
  for _ in $(seq 1 150); do
    id=$(xdotool search --name "^$folder - Wine desktop\$" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && break
    sleep 0.2
  done
  [ -n "$id" ] || { echo "no Wine desktop for $folder" >&2; return 1; }
  sleep 6
  # The Wine desktop around the window goes: trimmed by its plain colour.
  import -window "$id" "$work/desktop.png"
  convert "$work/desktop.png" -fuzz 1% -trim +repage "$out"
  "$wineserver" -k 2>/dev/null || true
  sleep 1
  "$wineserver" -p >/dev/null 2>&1
}

shoot Tavrin tavrin.exe "$docs/tavrin-wine.png" 1060x700
shoot Morvex morvex.exe "$docs/morvex-wine.png" 820x680
shoot Pelurk pelurk.exe "$docs/pelurk-wine.png" 460x300

setup=$(ls "$kit"/plc-serial-kit-*-windows-x64-setup.exe)
"$wine" explorer.exe /desktop=Setup,640x480 "$setup" >/dev/null 2>&1 &
shoot_desktop Setup "$docs/installer-wine.png"
"$wine" "$setup" /S
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/PLC Serial Kit/Tavrin.lnk"
"$wine" explorer.exe /desktop=Installed,1060x700 start.exe /unix "$shortcut" >/dev/null 2>&1 &
shoot_desktop Installed "$docs/tavrin-installed-wine.png"
echo "screenshots in $docs"
