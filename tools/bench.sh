#!/bin/bash
# Benchmarks: what the plug-in costs the player, each figure against a
# baseline measured in the same run. Prints one table.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
{
  cmake --preset i686-release && cmake --build --preset i686-release
  cmake --preset x64-wine && cmake --build --preset x64-wine --target bench
  cmake -S . -B build/native-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DTRACKWIRE_TESTS=OFF && cmake --build build/native-release --target encode_bench
} >/dev/null

prefix=$PWD/build/x64-wine/bench-prefix
cmake/wine-prefix.sh "$prefix" >/dev/null
dll=build/i686-release/bin/gen_trackwire.dll
imports=$(i686-w64-mingw32-objdump -p "$dll" | grep -oE 'DLL Name: .*' | cut -c11- | tr '\n' ' ')

echo "| benchmark | measured | baseline | ratio | target |"
echo "|---|---|---|---|---|"
(cd build/x64-wine/bin && TRACKWIRE_WINEPREFIX=$prefix ../../../cmake/wine-run.sh bench.exe)
build/native-release/bin/encode_bench
echo "| 5. i686 DLL on disk | $(stat -c %s "$dll") bytes | | | imports: $imports|"
