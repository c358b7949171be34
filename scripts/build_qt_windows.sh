#!/usr/bin/env bash
# Builds Qt (qtbase: Core, Gui, Widgets, Sql with its SQLite driver, Test and
# the windows platform plugin) for 64-bit Windows with Debian's mingw-w64, from
# Debian's own source of qt6-base (the version of the host Qt), and prints the
# folder it is installed in as the last line.
#
#   bash scripts/build_qt_windows.sh
#   bash scripts/build_qt_windows.sh --check   # print the folder; exit 0 when
#                                              # it is built and whole, else 1
#
# The result goes into a cache folder outside the clone, named after the Qt
# version and the hash of what decides the build (scripts/qt_windows_recipe.sh
# and the toolchain files), and is reused when it is there: only the first run
# on a machine pays for the build (about 4,350 CPU-seconds). An interrupted
# run resumes where it stopped; a cached Qt that lost or changed a file since
# it was installed is installed again, never used. While it builds it shows
# its progress as a percentage (the compiler's lines go to build.log in the
# work folder). KIT_QT_WINDOWS_CACHE picks the cache folder (default
# /var/cache/plc-serial-kit, or ~/.cache/plc-serial-kit when that is not
# writable); KIT_JOBS the number of compile jobs (default 2).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
toolchain=$root/cmake/mingw-w64-x86_64.cmake
recipe=$root/scripts/qt_windows_recipe.sh
jobs=${KIT_JOBS:-2}
check_only=false
[ "${1:-}" = --check ] && check_only=true

log() { echo "build_qt_windows: $*" >&2; }
# shellcheck source=qt_windows_recipe.sh
source "$recipe"
# shellcheck source=progress.sh
source "$root/scripts/progress.sh"

$check_only || for tool in x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-g++-posix apt-get dpkg-source \
            cmake ninja tclsh; do
  if ! command -v "$tool" >/dev/null; then
    log "$tool is missing; install scripts/packages.txt"
    exit 1
  fi
done

# The host Qt provides the build tools (moc, rcc, uic) and must be the same
# version as the one built here.
host_qt=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null) || {
  $check_only && exit 1
  log "qt6-base-dev is missing; install scripts/packages.txt"
  exit 1
}   # e.g. 6.4.2+dfsg-10
qt_version=${host_qt%%+*}
qt_version=${qt_version#*:}
hash=$(cat "$recipe" "$toolchain" "$root/cmake/mingw-w64.cmake" | sha256sum | cut -c1-12)

cache=${KIT_QT_WINDOWS_CACHE:-}
if [ -z "$cache" ]; then
  cache=/var/cache/plc-serial-kit
  if ! mkdir -p "$cache" 2>/dev/null || [ ! -w "$cache" ]; then
    cache=${XDG_CACHE_HOME:-$HOME/.cache}/plc-serial-kit
  fi
fi
prefix=$cache/qt-$qt_version-mingw-$hash
work=$cache/work-$qt_version-$hash

# .complete lists every installed file with its size, written once the
# install ended; a cache whose files no longer match it is not used.
installed_files() {
  (cd "$prefix" && find . \( -type f -o -type l \) ! -path ./.complete -printf '%s %P\n' | LC_ALL=C sort)
}
cache_is_whole() {
  [ -s "$prefix/.complete" ] && installed_files | cmp -s - "$prefix/.complete"
}

if $check_only; then
  echo "$prefix"
  cache_is_whole
  exit
fi

mkdir -p "$cache"
# One build at a time per cache: a second run waits, then reuses the result.
exec 9>"$cache/.lock-$hash"
flock 9

if cache_is_whole; then
  log "reusing $prefix"
  echo "$prefix"
  exit 0
fi
if [ -e "$prefix/.complete" ]; then
  log "$prefix lost or changed files since it was installed: installing it again"
  rm -rf "$prefix"
fi

now() { date +%s; }
began=$(now)
mkdir -p "$work"
log "building Qt $qt_version for Windows in $work (log lines follow)"

# --- sources -------------------------------------------------------------
# A deb-src entry for each of the machine's own deb entries, in an apt
# configuration of our own, so the machine's apt set-up stays as it is.
fetch_sources() {
  local apt=$work/apt
  rm -rf "$apt"
  mkdir -p "$apt/sources" "$apt/lists/partial" "$apt/cache/archives/partial"
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    sed -E 's/^Types:.*/Types: deb-src/' "$f" >"$apt/sources/$(basename "$f")"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -e "$f" ] || continue
    sed -nE 's/^deb[[:space:]]/deb-src /p' "$f" >"$apt/sources/$(basename "$f")"
  done
  local opts=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$apt/sources"
              -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
              -o "APT::Sandbox::User=root" -o "Debug::NoLocking=1")
  apt-get "${opts[@]}" -qq update
  rm -rf "$work/src"
  mkdir -p "$work/src"
  (cd "$work/src" &&
    { apt-get "${opts[@]}" -qq source "qt6-base=$host_qt" ||
      apt-get "${opts[@]}" -qq source qt6-base; } &&
    apt-get "${opts[@]}" -qq source sqlite3) >"$work/fetch.log" 2>&1 ||
    { cat "$work/fetch.log" >&2; return 1; }
  touch "$work/.fetched"
}
[ -f "$work/.fetched" ] || fetch_sources
qt_src=$(find "$work/src" -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
sqlite_src=$(find "$work/src" -maxdepth 1 -type d -name 'sqlite3-*' | head -n 1)
log "sources ready after $(( $(now) - began )) s"

# --- SQLite for MinGW ------------------------------------------------------
# A static library, linked into Qt's SQLite driver: no further DLL to ship.
sqlite=$work/sqlite
build_sqlite() {
  rm -rf "$sqlite"
  mkdir -p "$sqlite/gen" "$sqlite/include" "$sqlite/lib"
  local amalgamation
  amalgamation=$(find "$sqlite_src" -name sqlite3.c -not -path '*/tea/*' | head -n 1)
  if [ -z "$amalgamation" ]; then
    # Debian's source is the full tree: generate the single-file form with
    # the host compiler and tclsh.
    (cd "$sqlite/gen" && "$sqlite_src/configure" --disable-tcl >/dev/null &&
      make -s sqlite3.c sqlite3.h >/dev/null)
    amalgamation=$sqlite/gen/sqlite3.c
  fi
  cp "$(dirname "$amalgamation")/sqlite3.h" "$sqlite/include/"
  x86_64-w64-mingw32-gcc-posix "${sqlite_cflags[@]}" -c "$amalgamation" -o "$sqlite/sqlite3.o"
  x86_64-w64-mingw32-ar rcs "$sqlite/lib/libsqlite3.a" "$sqlite/sqlite3.o"
  touch "$sqlite/.built"
}
[ -f "$sqlite/.built" ] || build_sqlite
log "SQLite ready after $(( $(now) - began )) s"

# --- qtbase ----------------------------------------------------------------
# Qt's own toolchain file loads the one given here by its path: a copy inside
# the install keeps that path valid for every clone. Copied again when a
# damaged install went, unchanged files left as they are (the build would
# otherwise configure again).
qt_build=$work/build
install_toolchain() {
  mkdir -p "$prefix/lib/cmake"
  local from to
  for from in "$toolchain" "$root/cmake/mingw-w64.cmake"; do   # the second is included by the first
    to=$prefix/lib/cmake/$(basename "$from")
    [ "$from" = "$toolchain" ] && to=$prefix/lib/cmake/kit-mingw-w64-x86_64.cmake
    cmp -s "$from" "$to" || cp "$from" "$to"
  done
}
install_toolchain
if [ ! -f "$qt_build/build.ninja" ]; then
  rm -rf "$qt_build"
  cmake -S "$qt_src" -B "$qt_build" "${qt_configure[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$prefix/lib/cmake/kit-mingw-w64-x86_64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DSQLite3_INCLUDE_DIR="$sqlite/include" \
    -DSQLite3_LIBRARY="$sqlite/lib/libsqlite3.a" \
    >"$work/configure.log" 2>&1 ||
    { tail -n 60 "$work/configure.log" >&2; rm -f "$qt_build/build.ninja"; exit 1; }
  log "configured after $(( $(now) - began )) s"
fi
cmake --build "$qt_build" -j"$jobs" 2>&1 | build_progress "build_qt_windows: building Qt" "$work/build.log" ||
  { tail -n 60 "$work/build.log" >&2; exit 1; }
log "built after $(( $(now) - began )) s"
cmake --install "$qt_build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { tail -n 30 "$work/install.log" >&2; exit 1; }
installed_files >"$work/complete"
mv "$work/complete" "$prefix/.complete"
log "installed in $prefix after $(( $(now) - began )) s"
echo "$prefix"
