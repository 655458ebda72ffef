# What the receiver's Wine test scripts share; each sources it first thing:
#   source "$(dirname "$0")/receiver_support.sh" SCRIPT "$@"
# It takes the scripts' three arguments, BIN_DIR WINEPREFIX WORK_DIR, as
# $bin, $prefix and $work (full paths), sets $here, $repo and $wine, brings in
# tests/support/script_support.sh and sets up the Wine environment.
bin=$(realpath -m "${2:?usage: $1 BIN_DIR WINEPREFIX WORK_DIR}")
prefix=$(realpath -m "${3:?WINEPREFIX missing}")
work=$(realpath -m "${4:?WORK_DIR missing}")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
source "$repo/tests/support/script_support.sh"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64

python=/usr/bin/python3
client() { php "$here/client.php" "$@"; }

# report ARTIST ALBUM TITLE [PORT]: as the plug-in sends it, to $port or PORT.
report() {
  client fire "${4:-$port}" "$("$python" -c 'import sys, urllib.parse as u
print(u.urlencode(dict(zip(("artist", "album", "title"), sys.argv[1:4])), quote_via=u.quote))' "$@")"
}
# mode SERVICE MODE [PATH [SECONDS]]: how that stand-in of stand_ins.py
# (its control port $control) answers from now on.
mode() {
  curl -sf "http://127.0.0.1:$control/mode?service=$1&mode=$2&path=${3:-}&seconds=${4:-0}" >/dev/null
}

# start_receiver LOG [ARGS...]: the receiver on $port with the song folder
# $files, its output to LOG; returns once it takes connections.
start_receiver() {
  local log=$1
  shift
  (cd "$work" && exec "$wine" "$bin/trackwire_receiver.exe" --port "$port" \
    "$@" --encoding utf-8 --folder "$(windows_path "$files")") >"$log" 2>&1 &
  receiver_pid=$!
  client ready "$port" || { echo "the receiver did not start:"; cat "$log"; exit 1; }
}

# Ctrl+C to the Windows process, then a check that it ended.
stop_receiver() {
  local windows_pid
  windows_pid=$(pgrep -f "^([A-Z]:|/)[^ ]*trackwire_receiver\.exe --port $port " | head -n1)
  [ -n "$windows_pid" ] && kill -INT "$windows_pid"
  for _ in $(seq 100); do kill -0 "$receiver_pid" 2>/dev/null || break; sleep 0.1; done
  check "Ctrl+C ends the receiver" ended \
    "$(kill -0 "$receiver_pid" 2>/dev/null && echo running || echo ended)"
}

# begin_browser_test NAME: a Chromium test's start: an empty song folder
# $files, Xvfb, the program's check; at the end the receiver, Wine and Xvfb
# stopped.
begin_browser_test() {
  command -v chromium >/dev/null ||
    { echo "$1: no chromium; tools/install-deps.sh installs it"; exit 1; }
  rm -rf "$work"
  files=$work/files
  mkdir -p "$files"
  xvfb_pid="" receiver_pid=""
  trap end_browser_test EXIT
  start_xvfb "$work/display"
  "$repo/tools/cpu32.sh" --check "$bin/trackwire_receiver.exe" || exit 1
}
end_browser_test() {
  [ -n "$receiver_pid" ] && stop_receiver
  /usr/lib/wine/wineserver -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
