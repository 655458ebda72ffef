#!/bin/bash
# Builds the shipped 32-bit DLL (workflow preset i686-release: configure,
# build, artifact checks) and packs it with trackwire_receiver.exe,
# INSTALL.txt and the reference receiver into
# build/package/gen_trackwire-1.0.zip; installer/build.sh makes
# the setup program build/package/gen_trackwire-1.0-setup.exe around the
# same DLL and receiver. Ends with each file's SHA-256: the same commit gives
# the same bytes.
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

# Every date in the zip and the setup program is the commit's, so that the
# same commit gives the same bytes (the DLL and receiver carry no link time).
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$repo" log -1 --format=%ct 2>/dev/null || date +%s)
fi
export SOURCE_DATE_EPOCH

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
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
# zip keeps local times and the order it is given: UTC, sorted.
(cd "$out" && find "$name" | LC_ALL=C sort | TZ=UTC zip -q -X -@ "$name.zip")
rm -rf "$stage"
echo "package: $out/$name.zip"
zip -sf "$out/$name.zip"
installer/build.sh "$build_dir/bin/gen_trackwire.dll" "$build_dir/bin/trackwire_receiver.exe" \
  "$out/$name-setup.exe"
echo "package: $out/$name-setup.exe ($(stat -c %s "$out/$name-setup.exe") bytes)"
(cd "$build_dir/bin" && sha256sum gen_trackwire.dll trackwire_receiver.exe) |
  sed 's/^/package: SHA-256 /'
(cd "$out" && sha256sum "$name.zip" "$name-setup.exe") | sed 's/^/package: SHA-256 /'
