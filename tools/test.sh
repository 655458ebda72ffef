#!/bin/bash
# Every test: the pure code natively under ASan and UBSan, the shipped i686
# DLL's artifact checks, and the 64-bit Windows build under wine64.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
for preset in native-asan i686-release i686-wine x64-wine; do
  echo "== $preset"
  cmake --workflow --preset "$preset"
done
