#!/bin/bash
# Builds the shipped 32-bit DLL (workflow preset i686-release: configure,
# build, artifact checks) and packs it with trackwire_receiver.exe,
# INSTALL.txt and the reference receiver into
# build/package/gen_trackwire-1.0.zip; installer/build.sh makes
# the setup program build/package/gen_trackwire-1.0-setup.exe around the
# same DLL and receiver.
#
#   tools/package.sh [--build-dir DIR]   another i686 tree than the preset's
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
build_dir=""
if [ $# -eq 2 ] && [ "$1" = --build-dir ]; then
  build_dir=$(realpath -m "$2")
elif [ $# -ne 0 ]; then
  echo "usage: tools/package.sh [--build-dir DIR]" >&2
  exit 2
fi

tools/install-deps.sh
if [ -z "$build_dir" ]; then
  build_dir=$repo/build/i686-release
  cmake --workflow --preset i686-release
else
  cmake -S "$repo" -B "$build_dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DTRACKWIRE_TESTS=OFF
  cmake --build "$build_dir"
  ctest --test-dir "$build_dir" --output-on-failure
fi

name=gen_trackwire-1.0
out=$repo/build/package
stage=$out/$name
rm -rf "$stage" "$out/$name.zip" "$out/$name-setup.exe"
mkdir -p "$stage/receiver"
cp "$build_dir/bin/gen_trackwire.dll" "$stage/"
cp "$build_dir/bin/trackwire_receiver.exe" "$stage/"
# Windows users open these with Notepad: CR LF line ends.
sed 's/$/\r/' tools/INSTALL.txt >"$stage/INSTALL.txt"
for file in set_current_song.php now_playing.php song_store.php SERVER-GUIDE.md; do
  cp "examples/server/$file" "$stage/receiver/"
done
(cd "$out" && zip -q -r -X "$name.zip" "$name")
rm -rf "$stage"
echo "package: $out/$name.zip"
zip -sf "$out/$name.zip"
installer/build.sh "$build_dir/bin/gen_trackwire.dll" "$build_dir/bin/trackwire_receiver.exe" \
  "$out/$name-setup.exe"
echo "package: $out/$name-setup.exe ($(stat -c %s "$out/$name-setup.exe") bytes)"
