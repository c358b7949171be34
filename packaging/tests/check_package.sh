#!/usr/bin/env bash
# Installs the kit from a build folder into a temporary prefix and builds its
# Debian package, then checks both as a desktop sees them: the three programs
# start (--version needs no display), each desktop entry is valid and names
# an installed program and icon, and the package carries its files, version
# and run-time dependencies.
#
#   check_package.sh BUILD_DIR VERSION
set -euo pipefail

build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

programs=(tavrin morvex pelurk)
declare -A title=([tavrin]=Tavrin [morvex]=Morvex [pelurk]=Pelurk)

# Checks an installed tree: PREFIX/bin, PREFIX/share/...
check_tree() {
  local prefix=$1 p entry exec icon out
  for p in "${programs[@]}"; do
    [ -x "$prefix/bin/$p" ] || fail "$prefix/bin/$p is not an installed program"

    entry=$prefix/share/applications/$p.desktop
    [ -f "$entry" ] || fail "no desktop entry $entry"
    out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate rejects $entry: $out"
    [ -z "$out" ] || fail "desktop-file-validate complains about $entry: $out"
    exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    [ -x "$prefix/bin/$exec" ] || fail "$entry starts '$exec', which is not installed"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    [ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] \
      || fail "$entry shows icon '$icon', which is not installed"
    grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" || fail "$icon.svg is not an SVG"

    # No display at all: --version must not need one.
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$prefix/bin/$p" --version) \
      || fail "$prefix/bin/$p --version failed"
    [ "$out" = "${title[$p]} $version" ] || fail "$prefix/bin/$p --version printed '$out'"
  done
  [ -f "$prefix/share/doc/plc-serial-kit/README.md" ] || fail "README not installed under $prefix/share/doc"
}

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 \
  || { cat "$work/install.log"; fail "cmake --install failed"; }
check_tree "$work/prefix"
echo "installed into a prefix: ok"

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$work/package/plc-serial-kit_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no package $deb; found: $(ls "$work/package")"

[ "$(dpkg-deb -f "$deb" Package)" = plc-serial-kit ] || fail "wrong package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version), not $version"
depends=$(dpkg-deb -f "$deb" Depends)
# Found by dpkg-shlibdeps in the binaries, then those loaded at run time.
for d in libc6 libqt6widgets6 libqt6serialport6 libqt6sql6 libqt6svg6 \
         libqt6sql6-sqlite qt6-qpa-plugins fonts-noto-cjk hicolor-icon-theme; do
  grep -Eq "(^|, )$d( |,|$)" <<<"$depends" || fail "package does not depend on $d: $depends"
done

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for p in "${programs[@]}"; do
  for f in ./usr/bin/$p ./usr/share/applications/$p.desktop ./usr/share/icons/hicolor/scalable/apps/$p.svg; do
    grep -qx "$f" <<<"$contents" || fail "package lacks $f"
  done
done

# What the package unpacks must work as installed.
dpkg-deb -x "$deb" "$work/root"
check_tree "$work/root/usr"
echo "package $(basename "$deb"): ok"
