#!/bin/bash
# trackwire_receiver.exe under wine64 (32-bit, WoW64): the player simulator
# with the shipped DLL playing the demo playlist to it, the plug-in's exact
# bytes from a sender that hangs up at once, the event stream, hostile
# requests, another code page and format, a port in use, Ctrl+C. Starts its
# own Xvfb and stops everything it started.
#
#   receiver_wine_test.sh BIN_DIR WINEPREFIX WORK_DIR
#
# RECEIVER_EVENT_ROUNDS=N sets the number of reports the event latency is
# measured over (default 20).
set -u
bin=${1:?usage: receiver_wine_test.sh BIN_DIR WINEPREFIX WORK_DIR}
prefix=${2:?WINEPREFIX missing}
work=${3:?WORK_DIR missing}
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
source "$repo/tests/support/script_support.sh"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
rm -rf "$work"
mkdir -p "$work/files" "$work/files2" "$work/settings"
files=$work/files

xvfb_pid=""
finish() {
  /usr/lib/wine/wineserver -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap finish EXIT

start_xvfb "$work/display"
"$repo/tools/cpu32.sh" --check "$bin/trackwire_receiver.exe" || exit 1

client() { php "$here/client.php" "$@"; }
field() {  # field NAME [FOLDER]
  php -r '$s = json_decode((string)@file_get_contents($argv[1]), true);
    echo is_array($s) ? ($s[$argv[2]] ?? "(none)") : "(no song)";' \
    "${2:-$files}/now_playing.json" "$1"
}
# Waits up to 5 s for the stored title to become TITLE; prints the title.
stored_title() {
  for _ in $(seq 50); do
    [ "$(field title "${2:-$files}")" = "$1" ] && break
    sleep 0.1
  done
  field title "${2:-$files}"
}
# A fresh report after a hostile request: still taken and stored?
report_count=0
still_stores() {
  report_count=$((report_count + 1))
  client fire "$port" "artist=After&album=&title=Still%20here%20$report_count"
  check "stored after $1" "Still here $report_count" "$(stored_title "Still here $report_count")"
}
start_receiver() {  # start_receiver PORT LOG ARGS...
  local port=$1 log=$2
  shift 2
  (cd "$work" && exec "$wine" "$bin/trackwire_receiver.exe" --port "$port" "$@") \
    >"$log" 2>&1 &
}

port=$(free_port)
start_receiver "$port" "$work/receiver.log" --folder "$(windows_path "$files")"
receiver_pid=$!
client ready "$port" || { echo "the receiver did not start:"; cat "$work/receiver.log"; exit 1; }

# The player simulator with the shipped DLL, configured for this port, plays
# the demo playlist; every song must show up in both files, whole.
playlist=$repo/examples/demo-playlist.txt
printf '127.0.0.1\r\n%s\r\n%s' "$port" \
  '/set_current_song.php?artist=%s&album=%s&title=%s' >"$work/settings/gen_trackwire.ini"
php "$repo/tools/demo-songs.php" expect "$playlist" 2 | tail -n +2 >"$work/expected-json.txt"
sed -E 's/^(.*) \| .* \| (.*)$/\1 - \2/' "$work/expected-json.txt" >"$work/expected-text.txt"
client watch "$files" "$work/stop-watching" >"$work/watch.log" &
watch_pid=$!
(cd "$bin" && timeout 90 "$wine" player_sim.exe --plugin gen_trackwire.dll \
  --playlist "$(windows_path "$playlist")" \
  --settings-dir "$(windows_path "$work/settings")" --seconds 2) \
  >"$work/simulator.log" 2>&1
check "player simulator exit code" 0 $?
sleep 0.5
touch "$work/stop-watching"
wait "$watch_pid"
check "songs in now_playing.json" "" "$(grep -vxF -f "$work/json-seen.txt" "$work/expected-json.txt")"
check "lines in now_playing.txt" "" "$(grep -vxF -f "$work/text-seen.txt" "$work/expected-text.txt")"
check "json always whole" "unreadable json reads: 0" "$(cat "$work/watch.log")"
check "text file: UTF-8, no BOM, no line end" \
  "$(printf '%s' 'Les Étoiles - Café' | od -An -tx1)" "$(od -An -tx1 "$files/now_playing.txt")"
check "one console line per report" 6 "$(grep -cE '^[0-9]{2}:[0-9]{2}:[0-9]{2}  ' "$work/receiver.log")"

# The plug-in's exact bytes from a sender that hangs up at once; Windows-1252
# bytes become UTF-8, '+' stays, control characters go.
client fire "$port" 'artist=Bj%F6rk%20%80&album=Caf%E9%20%26%20Co%0D%0A&title=It%27s%20%3Cb%3Efine%3C%2Fb%3E%20%2B%201'
check "fire and close: stored" "It's <b>fine</b> + 1" "$(stored_title "It's <b>fine</b> + 1")"
check "text file" "Björk € - It's <b>fine</b> + 1" "$(cat "$files/now_playing.txt")"
check "json file as the PHP receiver writes it" "" "$(php -r '
  $file = file_get_contents($argv[1]);
  $song = json_decode($file, true);
  $want = ["artist" => "Björk €", "album" => "Café & Co", "title" => "It'\''s <b>fine</b> + 1",
    "received" => $song["received"] ?? ""];
  $flags = JSON_PRETTY_PRINT | JSON_UNESCAPED_SLASHES | JSON_UNESCAPED_UNICODE;
  if ($file !== json_encode($want, $flags) . "\n") echo $file;
  if (!preg_match("/^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$/", $want["received"])) echo "received?";
  ' "$files/now_playing.json")"
check "page serves the song" "Café &amp; Co" \
  "$(client get "$port" / | grep -o 'Café &amp; Co' | head -n1)"

# Server-sent events: each report reaches a follower of /events at once.
rounds=${RECEIVER_EVENT_ROUNDS:-20}
events=$(client events "$port" "$rounds")
check "events arrive within 2 s" 0 $?
echo "$events"

# Hostile requests, each followed by a report that must still be stored.
client silent "$port" >"$work/silent.log" &
silent_pid=$!
check "garbage bytes" 400 "$(client send "$port" garbage)"
still_stores "garbage"
check "request line of 20 KB" 414 "$(client send "$port" long-line)"
still_stores "a 20 KB request line"
check "header of 20 KB" 431 "$(client send "$port" long-header)"
check "body too large" 413 "$(client send "$port" big-body)"
check "POST" 405 "$(client send "$port" post)"
still_stores "a POST"
check "unknown path" 404 "$(client send "$port" unknown-path)"
check "query without the values" 400 "$(client send "$port" no-values)"
check "report forged by a web page" 403 "$(client send "$port" cross-site)"
still_stores "refusals"
client fire "$port" 'artist=%3Cb%3EBold%3C%2Fb%3E&album=&title=%3Cscript%3Ealert(1)%3C%2Fscript%3E'
check "script title stored as text" "<script>alert(1)</script>" \
  "$(stored_title "<script>alert(1)</script>")"
check "script title plain in the text file" "<b>Bold</b> - <script>alert(1)</script>" \
  "$(cat "$files/now_playing.txt")"
page=$(client get "$port" '/?overlay=1')
check "page escapes the title" 1 \
  "$(grep -c '>&lt;script&gt;alert(1)&lt;/script&gt;</div>' <<<"$page")"
check "page escapes the artist" 1 "$(grep -c '>&lt;b&gt;Bold&lt;/b&gt;</div>' <<<"$page")"
check "no markup from the report in the page" 0 "$(grep -c '<script>alert\|<b>Bold' <<<"$page")"
check "overlay page" 1 "$(grep -c '<body class="overlay">' <<<"$page")"
still_stores "a script title"
wait "$silent_pid"
check "silent connection dropped" 1 "$(grep -cE '^dropped after [1-9] s$' "$work/silent.log")"
still_stores "a silent connection"
check "receiver still running" 0 "$(kill -0 "$receiver_pid" 2>/dev/null; echo $?)"
check "nothing else in the folder" "now_playing.json now_playing.txt" \
  "$(ls -A "$files" | sort | tr '\n' ' ' | sed 's/ $//')"

# Another code page and line format; a second receiver on a port in use.
port2=$(free_port)
start_receiver "$port2" "$work/receiver2.log" --folder "$(windows_path "$work/files2")" \
  --encoding 1251 --format '{title} / {album}'
client ready "$port2" || { echo "the second receiver did not start:"; cat "$work/receiver2.log"; }
client fire "$port2" 'artist=&album=%C0%EB%FC%E1%EE%EC&title=%CF%E5%F1%ED%FF'
check "code page 1251" "Песня" "$(stored_title "Песня" "$work/files2")"
check "own format" "Песня / Альбом" "$(cat "$work/files2/now_playing.txt")"
(cd "$work" && "$wine" "$bin/trackwire_receiver.exe" --port "$port2" \
  --folder "$(windows_path "$work/files")") >"$work/in-use.log" 2>&1
check "port in use: exit code" 2 $?
check "port in use: message" 1 "$(grep -c "port $port2 .*already in use.*--port" "$work/in-use.log")"

# Ctrl+C stops cleanly: wine turns SIGINT into the console's Ctrl+C event.
# wine64 runs a 32-bit program through start.exe, so the signal goes to the
# Windows process itself, found by its command line with this test's port:
# the program's own path first, a Windows one at 32 bits, a Linux one at 64.
windows_pid=$(pgrep -f "^([A-Z]:|/)[^ ]*trackwire_receiver\.exe --port $port " | head -n1)
[ -n "$windows_pid" ] && kill -INT "$windows_pid"
for _ in $(seq 100); do
  kill -0 "$receiver_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$receiver_pid" 2>/dev/null; then
  check "Ctrl+C ends the receiver" "stopped" "still running"
else
  wait "$receiver_pid"
  check "Ctrl+C: exit code" 0 $?
  check "Ctrl+C: clean stop" "trackwire_receiver: stopped" \
    "$(tail -n1 "$work/receiver.log" | tr -d '\r')"
fi

checks_summary
