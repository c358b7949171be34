#!/usr/bin/env bash
# Builds Qt (qtbase: Core, Gui, Widgets, Sql with its SQLite driver, Test and
# the windows platform plugin) for 64-bit Windows with Debian's mingw-w64, from
# Debian's own source of qt6-base (the version of the host Qt), and prints the
# folder it is installed in as the last line.
#
#   bash scripts/build_qt_windows.sh
#
# The result goes into a cache folder outside the clone, named after the Qt
# version and this script's hash, and is reused when it is there: only the
# first run on a machine pays for the build. An interrupted run resumes where
# it stopped. KIT_QT_WINDOWS_CACHE picks the cache folder (default
# /var/cache/plc-serial-kit, or ~/.cache/plc-serial-kit when that is not
# writable); KIT_JOBS the number of compile jobs (default 2).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=${KIT_JOBS:-2}

log() { echo "build_qt_windows: $*" >&2; }

for tool in x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-g++-posix apt-get dpkg-source \
            cmake ninja tclsh; do
  if ! command -v "$tool" >/dev/null; then
    log "$tool is missing; install scripts/packages.txt"
    exit 1
  fi
done

# The host Qt provides the build tools (moc, rcc, uic) and must be the same
# version as the one built here.
host_qt=$(dpkg-query -W -f='${Version}' qt6-base-dev)   # e.g. 6.4.2+dfsg-10
qt_version=${host_qt%%+*}
qt_version=${qt_version#*:}
hash=$(cat "${BASH_SOURCE[0]}" "$toolchain" "$root/cmake/mingw-w64.cmake" | sha256sum | cut -c1-12)

cache=${KIT_QT_WINDOWS_CACHE:-}
if [ -z "$cache" ]; then
  cache=/var/cache/plc-serial-kit
  if ! mkdir -p "$cache" 2>/dev/null || [ ! -w "$cache" ]; then
    cache=${XDG_CACHE_HOME:-$HOME/.cache}/plc-serial-kit
  fi
fi
mkdir -p "$cache"
prefix=$cache/qt-$qt_version-mingw-$hash
work=$cache/work-$qt_version-$hash

# One build at a time per cache: a second run waits, then reuses the result.
exec 9>"$cache/.lock-$hash"
flock 9

if [ -f "$prefix/.complete" ]; then
  log "reusing $prefix"
  echo "$prefix"
  exit 0
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
  x86_64-w64-mingw32-gcc-posix -O2 -c "$amalgamation" -o "$sqlite/sqlite3.o" \
    -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_COLUMN_METADATA=1 -DSQLITE_ENABLE_FTS5=1 \
    -DSQLITE_OMIT_LOAD_EXTENSION=1
  x86_64-w64-mingw32-ar rcs "$sqlite/lib/libsqlite3.a" "$sqlite/sqlite3.o"
  touch "$sqlite/.built"
}
[ -f "$sqlite/.built" ] || build_sqlite
log "SQLite ready after $(( $(now) - began )) s"

# --- qtbase ----------------------------------------------------------------
# The MinGW runtime stays in its DLLs (shipped beside the programs) so every
# Qt DLL and program shares one C++ runtime: hence the empty linker flags,
# which replace the toolchain file's -static.
# Qt's own toolchain file loads the one given here by its path: a copy inside
# the install keeps that path valid for every clone.
qt_build=$work/build
if [ ! -f "$qt_build/build.ninja" ]; then
  rm -rf "$qt_build"
  mkdir -p "$prefix/lib/cmake"
  cp "$toolchain" "$prefix/lib/cmake/kit-mingw-w64-x86_64.cmake"
  cp "$root/cmake/mingw-w64.cmake" "$prefix/lib/cmake/mingw-w64.cmake"   # included by the one above
  cmake -S "$qt_src" -B "$qt_build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$prefix/lib/cmake/kit-mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_EXE_LINKER_FLAGS= -DCMAKE_SHARED_LINKER_FLAGS= -DCMAKE_MODULE_LINKER_FLAGS= \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_QMAKE_TARGET_MKSPEC=win32-g++ \
    -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF -DFEATURE_tabletevent=OFF \
    -DFEATURE_sql=ON -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=ON \
    -DFEATURE_sql_odbc=OFF -DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF \
    -DFEATURE_sql_ibase=OFF -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF \
    -DFEATURE_testlib=ON -DFEATURE_widgets=ON -DFEATURE_gui=ON \
    -DSQLite3_INCLUDE_DIR="$sqlite/include" \
    -DSQLite3_LIBRARY="$sqlite/lib/libsqlite3.a" \
    >"$work/configure.log" 2>&1 ||
    { tail -n 60 "$work/configure.log" >&2; rm -f "$qt_build/build.ninja"; exit 1; }
  log "configured after $(( $(now) - began )) s"
fi
cmake --build "$qt_build" -j"$jobs" >"$work/build.log" 2>&1 ||
  { tail -n 60 "$work/build.log" >&2; exit 1; }
log "built after $(( $(now) - began )) s"
cmake --install "$qt_build" >"$work/install.log" 2>&1 ||
  { tail -n 30 "$work/install.log" >&2; exit 1; }
touch "$prefix/.complete"
log "installed in $prefix after $(( $(now) - began )) s"
echo "$prefix"
