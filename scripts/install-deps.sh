#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need: scripts/debian-packages.txt, and
# the 32-bit packages of scripts/debian-packages-i386.txt, for which it first adds the i386
# architecture (with one apt-get update after it). Does nothing when everything is installed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
list() { grep -v '^\s*#' "$1" | grep -v '^\s*$'; }
mapfile -t packages < <(list "$here/debian-packages.txt"; list "$here/debian-packages-i386.txt")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
