#!/bin/bash
# Installs the Debian packages that building, testing and the demonstration
# need; does nothing when they are all there already.
set -eu
packages=(cmake ninja-build g++ clang libclang-rt-14-dev googletest
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine64 xvfb x11-utils xdotool imagemagick php-cli zip)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
