#!/bin/bash
# Every test: the pure code natively under ASan and UBSan, the shipped i686
# files' artifact checks, the 32-bit suites on those very files under wine64
# (WoW64), and the 64-bit build under wine64.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
for preset in native-asan i686-release i686-wine x64-wine; do
  echo "== $preset"
  cmake --workflow --preset "$preset"
done
