#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks what lands there; then
# builds the Debian package from it and checks its control data and contents:
# its Depends must be what dpkg-shlibdeps finds that the packed programs need.
# CTest runs it as the test "install".
#   tools/check-install.sh [BUILD_DIR]      (default: build)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }

files=(
  bin/narcedit
  bin/narctext
  share/applications/narcedit.desktop
  share/doc/narcedit/copyright
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

# The copyright file states the repository's licence, word for word.
expat=$(awk 'body {print} prev == "" && $0 == "License: Expat" {body = 1} {prev = $0}' \
  "$prefix/share/doc/narcedit/copyright" | sed 's/^ //; s/^\.$//')
licence=$(sed -n '/^Permission is hereby granted/,$p' "$source/LICENSE")
[ -n "$licence" ] && [ "$expat" = "$licence" ] ||
  fail "the copyright file's licence differs from LICENSE:
$(diff <(echo "$licence") <(echo "$expat") || true)"

# 2. The Debian package: the same files below /usr, with the Debian changelog;
# Depends exactly what dpkg-shlibdeps says the packed programs need.
command -v dpkg-shlibdeps >/dev/null || fail "dpkg-shlibdeps is missing (install dpkg-dev)"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1 ||
  fail "cpack failed: $(cat "$work/cpack.log")"
debs=("$work"/deb/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb"
deb=${debs[0]}
info=$(dpkg-deb --info "$deb")
field() { sed -n "s/^ $1: //p" <<<"$info"; }
[ "$(field Package)" = narcedit ] || fail "package name: $(field Package)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture: $(field Architecture)"
[ -n "$(field Version)" ] && [ -n "$(field Description)" ] || fail "incomplete control data"
[[ "$(field Maintainer)" =~ ^[^@\<\>]+\ \<[^@\<\>]+@[^@\<\>]+\>$ ]] && [[ "$(field Maintainer)" != *localhost* ]] ||
  fail "the maintainer is not a name and an address: $(field Maintainer)"

# Unpacked as a package build tree (debian/control, debian/PACKAGE/DEBIAN) so that
# dpkg-shlibdeps reads it as it would when building the package.
root=$work/tree/debian/narcedit
mkdir -p "$work/tree/debian" && dpkg-deb -R "$deb" "$root"
: >"$work/tree/debian/control"
needed=$(cd "$work/tree" && dpkg-shlibdeps -O debian/narcedit/usr/bin/narcedit debian/narcedit/usr/bin/narctext) ||
  fail "dpkg-shlibdeps failed"
clauses() { sed 's/^shlibs:Depends=//' | tr -s ' ' | sed 's/, */\n/g' | sort; }
[ "$(field Depends | clauses)" = "$(clauses <<<"$needed")" ] ||
  fail "the package's Depends differ from what its programs need (< Depends, > dpkg-shlibdeps):
$(diff <(field Depends | clauses) <(clauses <<<"$needed") || true)"

packaged=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./usr/||' | sort)
wanted_deb=$(printf '%s\n' "${files[@]}" share/doc/narcedit/changelog.Debian.gz share/lintian/overrides/narcedit | sort)
[ "$packaged" = "$wanted_deb" ] || fail "the package holds other files than expected:
$(diff <(echo "$wanted_deb") <(echo "$packaged") || true)"
dpkg-deb --contents "$deb" | awk '$1 ~ /^-/ && $2 != "root/root" {bad=1} END {exit bad}' ||
  fail "package files are not owned by root"

# The changelog: gzip -9n (no name, no time stamp, best compression), its first
# entry the package's version.
changelog=$root/usr/share/doc/narcedit/changelog.Debian.gz
[ "$(od -An -tx1 -j3 -N6 "$changelog" | tr -d ' ')" = 000000000002 ] || fail "changelog.Debian.gz is not made by gzip -9n"
zcat "$changelog" >"$work/changelog" || fail "changelog.Debian.gz is not gzip"
logged=$(dpkg-parsechangelog -l "$work/changelog" -S Version) || fail "the changelog does not parse"
[ "$logged" = "$(field Version)" ] || fail "the changelog's newest entry is $logged, the package is $(field Version)"

# lintian: no tag at all for a build that is packaged (optimised, no sanitizers);
# a debug or sanitizer build lacks the hardening on purpose, so only errors and
# warnings count there.
if command -v lintian >/dev/null; then
  cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
  shown='^[EWIX]: '
  if [ "$(cache CMAKE_BUILD_TYPE)" = Debug ] || [ "$(cache NARC_SANITIZE)" = ON ] || [ "$(cache NARC_FUZZ)" = ON ]; then
    shown='^[EWX]: '
  fi
  tags=$(lintian --display-info "$deb" 2>/dev/null | grep -E "$shown" || true)
  [ -z "$tags" ] || fail "lintian: $tags"
fi
echo "check-install: $(basename "$deb") and the installed files are as expected"
