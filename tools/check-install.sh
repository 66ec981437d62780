#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks what lands there; then
# builds the Debian package from it and checks its control data and contents.
# CTest runs it as the test "install".
#   tools/check-install.sh [BUILD_DIR]      (default: build)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }

files=(
  bin/narcedit
  bin/narctext
  share/applications/narcedit.desktop
  share/icons/hicolor/scalable/apps/narcedit.svg
  share/man/man1/narcedit.1.gz
  share/man/man1/narctext.1.gz
  share/mime/packages/narcedit.xml
)
wanted=$(printf '%s\n' "${files[@]}" | sort)

# 1. cmake --install into a prefix: exactly these files, each usable.
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
installed=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
[ "$installed" = "$wanted" ] || fail "installed files differ from the expected ones:
$(diff <(echo "$wanted") <(echo "$installed") || true)"
[ -x "$prefix/bin/narcedit" ] && [ -x "$prefix/bin/narctext" ] || fail "the programs are not executable"
version=$("$prefix/bin/narctext" --version) || fail "the installed narctext does not run"
[[ "$version" == "narctext "* ]] || fail "unexpected version line: $version"

desktop=$prefix/share/applications/narcedit.desktop
grep -qx 'Exec=narcedit %f' "$desktop" || fail "the desktop file does not open a file with narcedit"
grep -qx 'MimeType=application/x-narc;' "$desktop" || fail "the desktop file does not claim .narc files"
grep -qx 'Icon=narcedit' "$desktop" || fail "the desktop file names no icon"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "the desktop file is not valid"
fi
mime=$prefix/share/mime/packages/narcedit.xml
grep -q '<mime-type type="application/x-narc">' "$mime" && grep -q '<glob pattern="\*.narc"/>' "$mime" ||
  fail "the MIME definition does not define *.narc as application/x-narc"
if command -v xmllint >/dev/null; then
  xmllint --noout "$mime" "$prefix/share/icons/hicolor/scalable/apps/narcedit.svg" || fail "malformed XML"
fi
for page in narcedit narctext; do
  text=$(zcat "$prefix/share/man/man1/$page.1.gz") || fail "$page.1.gz is not gzip"
  grep -q "^\.TH ${page^^} 1" <<<"$text" || fail "$page.1 has no title line"
  if command -v groff >/dev/null; then
    warnings=$(groff -man -Tutf8 -ww -z <<<"$text" 2>&1)
    [ -z "$warnings" ] || fail "$page.1: $warnings"
  fi
done

# 2. The Debian package: Qt 6 and the C/C++ runtimes as its only dependencies,
# the same files below /usr.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >/dev/null || fail "cpack failed"
debs=("$work"/deb/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb"
deb=${debs[0]}
info=$(dpkg-deb --info "$deb")
field() { sed -n "s/^ $1: //p" <<<"$info"; }
[ "$(field Package)" = narcedit ] || fail "package name: $(field Package)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture: $(field Architecture)"
[ -n "$(field Version)" ] && [ -n "$(field Maintainer)" ] && [ -n "$(field Description)" ] || fail "incomplete control data"
depends=$(field Depends | tr -d ' ' | tr ',' '\n' | sed 's/(.*//' | sort | tr '\n' ' ')
[ "$depends" = "libc6 libgcc-s1 libqt6core6 libqt6gui6 libqt6widgets6 libstdc++6 " ] ||
  fail "unexpected dependencies: $(field Depends)"
packaged=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./usr/||' | sort)
[ "$packaged" = "$wanted" ] || fail "the package holds other files than expected:
$(diff <(echo "$wanted") <(echo "$packaged") || true)"
dpkg-deb --contents "$deb" | awk '$1 ~ /^-/ && $2 != "root/root" {bad=1} END {exit bad}' ||
  fail "package files are not owned by root"
echo "check-install: $(basename "$deb") and the installed files are as expected"
