#!/usr/bin/env bash
# Builds Tavrin, Morvex and Pelurk for 64-bit Windows against the Qt that
# scripts/build_qt_windows.sh provides (building it first when the machine has
# none cached), and lays them out as a Windows user receives them:
#
#   OUT/dist/<Program>/        the program, the Qt DLLs, the platforms, styles
#                              and sqldrivers plugins, the MinGW runtime
#   OUT/plc-serial-kit-<version>-windows-x64.zip   the three folders
#   OUT/plc-serial-kit-<version>-windows-x64-setup.exe   the installer of the
#                              three folders (packaging/windows/installer.nsi)
#   OUT/wintest/               the Wine test programs with the same DLLs and
#                              the vendor DLL's test double
#
#   bash scripts/build_windows_kit.sh [OUT]     (default: build-windows)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(mkdir -p "${1:-$root/build-windows}" && cd "${1:-$root/build-windows}" && pwd)
jobs=${KIT_JOBS:-2}

began=$(date +%s)
qt=$(bash "$root/scripts/build_qt_windows.sh" | tail -n 1)

# The MinGW runtime stays in its DLLs, shared by Qt and the programs.
build=$out/build
"$qt/bin/qt-cmake" -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DCMAKE_EXE_LINKER_FLAGS= -DCMAKE_SHARED_LINKER_FLAGS= -DCMAKE_MODULE_LINKER_FLAGS= \
  >"$out/configure.log" 2>&1 || { cat "$out/configure.log" >&2; exit 1; }
# shellcheck source=progress.sh
source "$root/scripts/progress.sh"
cmake --build "$build" -j"$jobs" --target tavrin morvex pelurk kit_wintests serial_wintests fake_vendor_full 2>&1 |
  build_progress "build_windows_kit: building" "$out/build.log" ||
  { tail -n 60 "$out/build.log" >&2; exit 1; }
# The names, version and icon the installer shows, as CMake read them.
kit_nsh=$build/installer/kit.nsh
version=$(sed -nE 's/^!define VERSION "(.*)"/\1/p' "$kit_nsh")

runtime=()
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  path=$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")
  [ -f "$path" ] || path=$(find /usr/lib/gcc/x86_64-w64-mingw32 /usr/x86_64-w64-mingw32 -name "$dll" | head -n 1)
  [ -f "$path" ] || { echo "build_windows_kit: $dll not found" >&2; exit 1; }
  runtime+=("$path")
done

# lay_out FOLDER EXE [EXTRA_QT_MODULE...]
lay_out() {
  local folder=$1 exe=$2
  shift 2
  rm -rf "$folder"
  mkdir -p "$folder/platforms" "$folder/sqldrivers" "$folder/styles"
  cp "$exe" "${runtime[@]}" "$folder/"
  local module
  for module in Core Gui Widgets Sql "$@"; do
    cp "$qt/bin/Qt6$module.dll" "$folder/"
  done
  cp "$qt/plugins/platforms/qwindows.dll" "$folder/platforms/"
  cp "$qt/plugins/sqldrivers/qsqlite.dll" "$folder/sqldrivers/"
  if compgen -G "$qt/plugins/styles/*.dll" >/dev/null; then
    cp "$qt"/plugins/styles/*.dll "$folder/styles/"
  else
    rmdir "$folder/styles"
  fi
}

rm -rf "$out/dist"
lay_out "$out/dist/Tavrin" "$build/console/tavrin.exe"
lay_out "$out/dist/Morvex" "$build/configurator/morvex.exe"
lay_out "$out/dist/Pelurk" "$build/portcheck/pelurk.exe"
zip_file=$out/plc-serial-kit-$version-windows-x64.zip
rm -f "$zip_file"
(cd "$out/dist" && zip -qr "$zip_file" Tavrin Morvex Pelurk)

# The installer copies exactly the files of dist/ and its uninstaller removes
# exactly those, so files.nsh lists them one by one.
windows_path() { local p=${1//\//\\}; echo "${p:+\\$p}"; }
write_file_list() {
  local dir file
  echo '!macro KIT_INSTALL_FILES'
  while IFS= read -r dir; do
    echo "  SetOutPath \"\$INSTDIR$(windows_path "$dir")\""
    find "$out/dist/$dir" -mindepth 1 -maxdepth 1 -type f -printf '%f\n' | sort |
      while IFS= read -r file; do echo "  File \"$out/dist/$dir/$file\""; done
  done < <(cd "$out/dist" && find . -mindepth 1 -type d -printf '%P\n' | sort)
  echo '!macroend'
  echo '!macro KIT_REMOVE_FILES'
  (cd "$out/dist" && find . -type f -printf '%P\n' | sort) |
    while IFS= read -r file; do echo "  Delete \"\$INSTDIR$(windows_path "$file")\""; done
  # Deepest folders first, each removed only when empty.
  (cd "$out/dist" && find . -mindepth 1 -type d -printf '%P\n' | sort -r) |
    while IFS= read -r dir; do echo "  RMDir \"\$INSTDIR$(windows_path "$dir")\""; done
  echo '!macroend'
}
mkdir -p "$out/installer"
write_file_list >"$out/installer/files.nsh"
setup_file=$out/plc-serial-kit-$version-windows-x64-setup.exe
rm -f "$setup_file"
makensis -V2 -INPUTCHARSET UTF8 -DKIT="$kit_nsh" -DFILES="$out/installer/files.nsh" \
  -DOUTFILE="$setup_file" "$root/packaging/windows/installer.nsi" >"$out/installer/makensis.log" 2>&1 ||
  { cat "$out/installer/makensis.log" >&2; exit 1; }

lay_out "$out/wintest" "$build/tests/wine/kit_wintests.exe" Test
cp "$build/serial/wintests/serial_wintests.exe" "$out/wintest/"
cp "$build/discovery/wintests/vendor_full/CP210xManufacturing.dll" "$out/wintest/"

echo "build_windows_kit: $zip_file, $setup_file and $out/wintest ready in $(( $(date +%s) - began )) s" >&2
