#!/bin/bash
# The whole path in one command: builds the shipped 32-bit DLL and the
# 32-bit player simulator (preset i686-release), starts the reference
# receiver on a free loopback port, and lets the simulator play
# examples/demo-playlist.txt under wine64 (WoW64) with gen_trackwire.dll
# loaded. Prints each song as the receiver stored it; exits non-zero when a
# song did not arrive. Stops everything it started, by PID.
#
#   tools/demo.sh [--64] [--no-build] [--build-dir DIR] [--wineprefix DIR]
#                 [--playlist FILE] [--seconds N] [--serve]
#
# --64            the 64-bit pair instead (preset x64-wine); the default on a
#                 machine whose CPU cannot run 32-bit code (tools/cpu32.sh)
# --no-build      use the tree in the build directory as it is (no apt-get,
#                 no cmake); what the ctest test "demo" does
# --build-dir     the build tree (default build/i686-release, or
#                 build/x64-wine with --64)
# --wineprefix    the wine prefix to run in (default BUILD_DIR/demo-prefix,
#                 made on first use)
# --serve         keep the receiver running after the demo, until Enter
set -u
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo" || exit 1

build=1
width=32
build_dir=""
prefix=""
playlist=$repo/examples/demo-playlist.txt
seconds=""
serve=0
usage() {
  sed -n '/^#   tools/,/^# --serve/p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case $1 in
    --64) width=64 ;;
    --no-build) build=0 ;;
    --build-dir) [ $# -ge 2 ] || usage; build_dir=$(realpath -m "$2"); shift ;;
    --wineprefix) [ $# -ge 2 ] || usage; prefix=$(realpath -m "$2"); shift ;;
    --playlist) [ $# -ge 2 ] || usage; playlist=$(realpath -m "$2"); shift ;;
    --seconds) [ $# -ge 2 ] || usage; seconds=$2; shift ;;
    --serve) serve=1 ;;
    *) echo "demo: unknown option $1" >&2; usage ;;
  esac
  shift
done
say() { printf '%s\n' "$*"; }
fail() { say "demo: $*" >&2; exit 1; }

if [ $build = 1 ]; then
  tools/install-deps.sh || fail "installing the packages failed"
fi
if [ $width = 32 ]; then
  cpu32=$(tools/cpu32.sh)
  case $? in
    0) ;;
    1)
      [ -z "$build_dir" ] || fail "$cpu32; add --64 to run the 64-bit tree of --build-dir"
      say "demo: $cpu32; running the 64-bit build of the same sources"
      width=64 ;;
    *) exit 1 ;;
  esac
fi
if [ $width = 32 ]; then
  preset=i686-release toolchain=mingw-i686.cmake build_type=MinSizeRel
else
  preset=x64-wine toolchain=mingw-x86_64.cmake build_type=RelWithDebInfo
fi
build_dir=${build_dir:-$repo/build/$preset}
prefix=${prefix:-$build_dir/demo-prefix}

if [ $build = 1 ]; then
  if [ "$build_dir" = "$repo/build/$preset" ]; then
    cmake --preset $preset >/dev/null &&
      cmake --build --preset $preset >/dev/null || fail "the build failed"
  else
    cmake -S "$repo" -B "$build_dir" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/$toolchain" \
      -DCMAKE_BUILD_TYPE=$build_type >/dev/null &&
      cmake --build "$build_dir" >/dev/null || fail "the build failed"
  fi
fi
bin=$build_dir/bin
for file in "$bin/player_sim.exe" "$bin/gen_trackwire.dll"; do
  [ -f "$file" ] || fail "$file is missing; build first (run without --no-build)"
done
for tool in php Xvfb /usr/lib/wine/wine64; do
  command -v "$tool" >/dev/null || fail "$tool is missing; run tools/install-deps.sh"
done
[ -f "$playlist" ] || fail "playlist not found: $playlist"
machine=$(objdump -f "$bin/gen_trackwire.dll" 2>/dev/null | grep -oE 'pei-[a-z0-9-]+')
case $machine in
  pei-i386) say "demo: the ${width}-bit player simulator with the shipped 32-bit gen_trackwire.dll, under wine64 (WoW64)" ;;
  pei-x86-64) say "demo: the 64-bit player simulator with the 64-bit gen_trackwire.dll, under wine64" ;;
  *) fail "$bin/gen_trackwire.dll is not a Windows DLL" ;;
esac
say "  plug-in: $bin/gen_trackwire.dll ($(stat -c %s "$bin/gen_trackwire.dll") bytes)"

work=$build_dir/demo
rm -rf "$work"
mkdir -p "$work/settings" || fail "cannot make $work"
song_file=$work/now_playing.json
received=$work/received.txt
: >"$received"

receiver_pid=""
simulator_pid=""
stop_all() {
  if [ -n "$simulator_pid" ] && kill -0 "$simulator_pid" 2>/dev/null; then
    # Ending the prefix's processes lets the runner close its own display.
    WINEPREFIX=$prefix wineserver -k 2>/dev/null
    wait "$simulator_pid" 2>/dev/null
  fi
  if [ -n "$receiver_pid" ]; then
    kill "$receiver_pid" 2>/dev/null
    wait "$receiver_pid" 2>/dev/null
  fi
}
trap stop_all EXIT
trap 'exit 130' INT TERM

# The receiver, on a free loopback port (tried again if another program
# takes the port in between).
port=""
for _ in 1 2 3 4 5; do
  candidate=$(php -r '$s = stream_socket_server("tcp://127.0.0.1:0");
    echo substr(strrchr(stream_socket_get_name($s, false), ":"), 1);')
  TRACKWIRE_SONG_FILE=$song_file php -S "127.0.0.1:$candidate" \
    -t "$repo/examples/server" >"$work/receiver.log" 2>&1 &
  receiver_pid=$!
  for _ in $(seq 50); do
    if php -r 'exit(@fsockopen("127.0.0.1", (int)$argv[1]) ? 0 : 1);' \
      "$candidate"; then
      port=$candidate
      break
    fi
    kill -0 "$receiver_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$port" ] && break
  kill "$receiver_pid" 2>/dev/null
  wait "$receiver_pid" 2>/dev/null
  receiver_pid=""
done
[ -n "$port" ] || fail "the receiver did not start (see $work/receiver.log)"
say "receiver: http://127.0.0.1:$port/now_playing.php (PHP, PID $receiver_pid)"

# The plug-in's settings file: host, port, request path, CR LF between.
printf '127.0.0.1\r\n%s\r\n%s' "$port" \
  '/set_current_song.php?artist=%s&album=%s&title=%s' \
  >"$work/settings/gen_trackwire.ini"

if [ ! -f "$prefix/system.reg" ]; then
  say "making the wine prefix $prefix (once)"
  "$repo/cmake/wine-prefix.sh" "$prefix" >/dev/null || fail "wine prefix failed"
fi

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
sim_args=(--plugin gen_trackwire.dll --playlist "$(windows_path "$playlist")"
  --settings-dir "$(windows_path "$work/settings")")
[ -n "$seconds" ] && sim_args+=(--seconds "$seconds")

# What the receiver should store: each track's artist, album, and title
# without a leading "artist - ", as the plug-in sends them.
php "$repo/tools/demo-songs.php" expect "$playlist" ${seconds:+"$seconds"} \
  >"$work/expected.txt" || fail "cannot read the playlist $playlist"
read -r total_seconds <"$work/expected.txt"
sed -i 1d "$work/expected.txt"

say "player simulator: $(wc -l <"$work/expected.txt") tracks, about $total_seconds s"
(cd "$bin" && TRACKWIRE_WINEPREFIX=$prefix exec "$repo/cmake/wine-run.sh" \
  player_sim.exe "${sim_args[@]}") >"$work/simulator.log" 2>&1 &
simulator_pid=$!

deadline=$((SECONDS + total_seconds + 60))
shown_lines=0
last_song=""
show_progress() {
  local lines
  lines=$(wc -l <"$work/simulator.log")
  if [ "$lines" -gt "$shown_lines" ]; then
    sed -n "$((shown_lines + 1)),${lines}p" "$work/simulator.log" |
      sed 's/^/  player:   /'
    shown_lines=$lines
  fi
  if [ -f "$song_file" ]; then
    local song
    song=$(php "$repo/tools/demo-songs.php" show "$song_file")
    if [ -n "$song" ] && [ "$song" != "$last_song" ]; then
      say "  received: $song"
      printf '%s\n' "$song" >>"$received"
      last_song=$song
    fi
  fi
}
while kill -0 "$simulator_pid" 2>/dev/null; do
  show_progress
  if [ $SECONDS -ge $deadline ]; then
    say "demo: the simulator did not finish in time" >&2
    break
  fi
  sleep 0.2
done
wait "$simulator_pid" 2>/dev/null
simulator_status=$?
simulator_pid=""
show_progress

missing=$(grep -vxF -f "$received" "$work/expected.txt")
if [ "$simulator_status" != 0 ]; then
  say "demo: the player simulator failed (exit $simulator_status); see $work/simulator.log" >&2
  exit 1
fi
if [ -n "$missing" ]; then
  say "demo: these songs did not arrive:" >&2
  printf '  %s\n' "$missing" >&2
  exit 1
fi
say "demo: all $(wc -l <"$work/expected.txt") songs arrived"
if [ $serve = 1 ]; then
  say "the page stays at http://127.0.0.1:$port/now_playing.php; press Enter to stop"
  read -r _ || true
fi
