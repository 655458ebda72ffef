#!/bin/bash
# Benchmarks: what the plug-in costs the player, each figure against a
# baseline measured in the same run at the same width. Prints one table per
# width (the shipped 32-bit DLL under WoW64, then the 64-bit build), then the
# native encoder and the DLL sizes.
# Where the CPU cannot run 32-bit code, the 32-bit table is left out with a
# line that says why.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
trees=(i686-wine x64-wine)
cpu32=$(tools/cpu32.sh) || trees=(x64-wine)
{
  cmake --preset i686-release && cmake --build --preset i686-release
  if [ ${#trees[@]} = 2 ]; then
    cmake --preset i686-wine && cmake --build --preset i686-wine --target bench
  fi
  cmake --preset x64-wine && cmake --build --preset x64-wine --target bench
  cmake -S . -B build/native-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DTRACKWIRE_TESTS=OFF && cmake --build build/native-release --target encode_bench
} >/dev/null || { echo "bench: the build failed" >&2; exit 1; }

header() {
  echo
  echo "$1"
  echo
  echo "| benchmark | measured | baseline | ratio | target |"
  echo "|---|---|---|---|---|"
}

if [ ${#trees[@]} = 1 ]; then
  echo
  echo "No 32-bit table: $cpu32."
fi
for tree in "${trees[@]}"; do
  prefix=$PWD/build/$tree/bench-prefix
  cmake/wine-prefix.sh "$prefix" >/dev/null
  if [ $tree = i686-wine ]; then
    header "32-bit: the shipped gen_trackwire.dll in a 32-bit process, wine64 WoW64"
  else
    header "64-bit: the x86_64 build, wine64"
  fi
  (cd "build/$tree/bin" &&
    TRACKWIRE_WINEPREFIX=$prefix ../../../cmake/wine-run.sh bench.exe)
done

header "Native (Linux, g++ -O2)"
build/native-release/bin/encode_bench
for dll in build/i686-release/bin/gen_trackwire.dll build/x64-wine/bin/gen_trackwire.dll; do
  imports=$(objdump -p "$dll" | grep -oE 'DLL Name: .*' | cut -c11- | tr '\n' ' ')
  echo "| 5. $dll on disk | $(stat -c %s "$dll") bytes | | | imports: $imports|"
done
