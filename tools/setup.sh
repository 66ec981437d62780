#!/usr/bin/env bash
# Installs what building and testing need on Debian, when it is missing.
set -euo pipefail

packages=(cmake ninja-build g++ qt6-base-dev libgl-dev libbenchmark-dev libgettextpo-dev gettext desktop-file-utils libxml2-utils)
# The Debian package: dpkg-shlibdeps computes its dependencies, lintian checks it.
packages+=(dpkg-dev lintian)
for extra in "$@"; do packages+=("$extra"); done

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
