#!/bin/bash
# trackwire_receiver.exe under wine64 (32-bit, WoW64): the player simulator
# with the shipped DLL playing the demo playlist to it, the plug-in's exact
# bytes from a sender that hangs up at once, the event stream, hostile
# requests, host names, bare LF line ends and other protocol details, the
# connection cap, a song file held open, another code page and format, a
# port in use, Ctrl+C, a restart, a console that takes no output; then the
# program as it starts by default, as an icon in the notification area: the
# song files per field, a second start (which opens the control page), the
# log-on start from its menu, an error in a message box, "Exit". Starts its
# own Xvfb and stops everything it started.
#
#   receiver_wine_test.sh BIN_DIR WINEPREFIX WORK_DIR
#
# RECEIVER_EVENT_ROUNDS=N sets the number of reports the event latency is
# measured over (default 20).
set -u
source "$(dirname "$0")/receiver_support.sh" receiver_wine_test.sh "$@"
rm -rf "$work"
mkdir -p "$work/files" "$work/files2" "$work/settings"
files=$work/files
# Wine's browser in the test prefix writes down what a receiver opens.
export TRACKWIRE_OPENED_PAGES=$work/opened.txt

xvfb_pid=""
drain_pid=""
other_pid=""
finish() {
  [ -n "$drain_pid" ] && kill "$drain_pid" 2>/dev/null
  [ -n "$other_pid" ] && kill "$other_pid" 2>/dev/null
  /usr/lib/wine/wineserver -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap finish EXIT

start_xvfb "$work/display"
"$repo/tools/cpu32.sh" --check "$bin/trackwire_receiver.exe" || exit 1

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
# The title the JSON route serves now, from memory rather than the file.
route_title() {  # route_title PORT
  client get "$1" /now_playing.json |
    php -r '$s = json_decode(stream_get_contents(STDIN), true);
      echo is_array($s) ? $s["title"] : "(no song)";'
}
status_of() { head -n1 | tr -d '\r' | cut -d' ' -f2; }
# Waits up to 5 s for a line to show up in a log; prints how many match.
logged() {  # logged PATTERN LOG
  for _ in $(seq 50); do grep -q -- "$1" "$2" && break; sleep 0.1; done
  grep -c -- "$1" "$2"
}
start_receiver() {  # start_receiver PORT LOG ARGS...: in console mode
  local port=$1 log=$2
  shift 2
  (cd "$work" && exec "$wine" "$bin/trackwire_receiver.exe" --port "$port" --console "$@") \
    >"$log" 2>&1 &
}
start_tray() {  # start_tray PORT LOG ARGS...: as an icon, the default
  local port=$1 log=$2
  shift 2
  (cd "$work" && exec "$wine" "$bin/trackwire_receiver.exe" --port "$port" "$@") \
    >"$log" 2>&1 &
}
driver() { "$wine" "$bin/tray_driver.exe" "$@"; }
# The song files the control page lists as problems, one a line.
control_files() {  # control_files PORT KEY
  client raw "$1" "GET /control/api/state HTTP/1.1"$'\r\n'"Host: 127.0.0.1"$'\r\n'"X-Trackwire-Key: $2"$'\r\nConnection: close\r\n\r\n' |
    php -r '$a = stream_get_contents(STDIN);
      $s = json_decode(substr($a, strpos($a, "\r\n\r\n") + 4), true);
      foreach ($s["problems"] ?? [] as $p) if ($p["kind"] === "file") echo $p["subject"], "\n";'
}
# Waits up to 5 s for an address matching ERE among those the receivers
# opened; prints how many match.
opened() {  # opened ERE
  for _ in $(seq 50); do
    grep -qE -- "$1" "$TRACKWIRE_OPENED_PAGES" 2>/dev/null && break
    sleep 0.1
  done
  cat "$TRACKWIRE_OPENED_PAGES" 2>/dev/null | grep -cE -- "$1"
}
# The bytes of a file, or of a text, in hex.
bytes() { od -An -tx1 "$@" | tr -d ' \n'; }
# Waits up to 5 s for the file to hold TEXT; prints what it holds.
file_holds() {  # file_holds FILE TEXT
  for _ in $(seq 50); do
    [ "$(cat "$1" 2>/dev/null)" = "$2" ] && break
    sleep 0.1
  done
  cat "$1" 2>/dev/null
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

# 8. A write that happens to be under way at a ping does not end a healthy
# event stream: a follower with small socket buffers reads nothing past the
# first ping while large songs come, then reads on, and keeps its stream. On
# a receiver of its own, in the background while the groups below go on.
port7=$(free_port)
mkdir -p "$work/files7"
start_receiver "$port7" "$work/receiver7.log" --folder "$(windows_path "$work/files7")"
client ready "$port7" || echo "the seventh receiver did not start"
client slow-follower "$port7" >"$work/slow-follower.log" 2>&1 &
slow_pid=$!

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
check "overlay page" 1 "$(grep -c '<body class="overlay theme-dark align-left">' <<<"$page")"
still_stores "a script title"
wait "$silent_pid"
check "silent connection dropped" 1 "$(grep -cE '^dropped after [1-9] s$' "$work/silent.log")"
still_stores "a silent connection"
check "receiver still running" 0 "$(kill -0 "$receiver_pid" 2>/dev/null; echo $?)"
# The five song files, the history and the settings file written at start;
# a replacement still being written (NAME.PID.tmp) is given a moment to land.
for _ in $(seq 30); do
  ls "$files" | grep -q '\.tmp$' || break
  sleep 0.1
done
check "nothing else in the folder" "album.txt artist.txt history.json history.txt now_playing.json now_playing.txt title.txt trackwire_receiver.ini" \
  "$(ls -A "$files" | sort | tr '\n' ' ' | sed 's/ $//')"

# 1. Host names: an IP address, localhost, this PC's own names and names
# given with --allow-host are answered; the name of a web page that points
# its own DNS name at 127.0.0.1 is not.
request_for_host() {  # request_for_host HOST TARGET
  client raw "$port" "GET $2 HTTP/1.1"$'\r\nHost: '"$1"$'\r\nConnection: close\r\n\r\n'
}
answer=$(request_for_host attacker.example '/set_current_song.php?artist=x&album=&title=pwned')
check "foreign host: 403" 403 "$(status_of <<<"$answer")"
check "foreign host: nothing stored" "Still here $report_count" "$(route_title "$port")"
check "foreign host printed once" 1 \
  "$(logged 'refused requests for the host name "attacker.example".*--allow-host attacker.example' "$work/receiver.log")"
check "no other host printed" 1 "$(grep -c 'refused requests' "$work/receiver.log")"
allowed=""
for host in "localhost:$port" LOCALHOST "[::1]:$port" 127.0.0.2 "$(hostname)" \
  "$(hostname | tr '[:lower:]' '[:upper:]')"; do
  allowed+="$host=$(request_for_host "$host" /now_playing.json | status_of) "
done
check "addresses, localhost and this PC's names" \
  "localhost:$port=200 LOCALHOST=200 [::1]:$port=200 127.0.0.2=200 $(hostname)=200 $(hostname | tr '[:lower:]' '[:upper:]')=200 " \
  "$allowed"
check "HTTP/1.0 without Host from this PC" 200 \
  "$(client raw "$port" $'GET /now_playing.json HTTP/1.0\r\n\r\n' | status_of)"
still_stores "refused host names"

# 3. Bare LF line ends: the very bytes a sender built to the request design
# sends, then it hangs up at once.
client fire-raw "$port" $'GET /set_current_song.php?artist=Les%20%C9toiles&album=%C0%20la%20carte&title=Caf%E9 HTTP/1.1\nHost: localhost\nUser-Agent: Winamp Tunebeacon\n\n'
check "bare LF: stored" "Café" "$(stored_title "Café")"
check "bare LF: text file in UTF-8" \
  "$(printf '%s' 'Les Étoiles - Café' | od -An -tx1)" "$(od -An -tx1 "$files/now_playing.txt")"
check "bare LF: answered 204" 204 "$(client raw "$port" \
  $'GET /set_current_song.php?artist=LF&album=&title=Answered HTTP/1.1\nHost: 127.0.0.1\nConnection: close\n\n' | status_of)"
check "bare LF: request line of 20 KB" 414 "$(client send "$port" long-line-lf)"
check "bare LF: header of 20 KB" 431 "$(client send "$port" long-header-lf)"
check "bare LF: body too large" 413 "$(client send "$port" big-body-lf)"
still_stores "bare LF limits"

# 7. Protocol details: absolute-form targets, one empty line before the
# request line, Expect: 100-continue, OPTIONS *; no CORS headers.
check "absolute-form target" 204 "$(client raw "$port" \
  "GET http://127.0.0.1:$port/set_current_song.php?artist=Absolute&album=&title=Form HTTP/1.1"$'\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' | status_of)"
check "absolute-form target: stored" "Form" "$(route_title "$port")"
check "empty line before the request line" 204 "$(client raw "$port" \
  $'\r\nGET /set_current_song.php?artist=Empty&album=&title=Line%20first HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' | status_of)"
check "empty line before the request line: stored" "Line first" "$(route_title "$port")"
check "bare empty line before the request line" 200 "$(client raw "$port" \
  $'\nGET / HTTP/1.1\nHost: 127.0.0.1\nConnection: close\n\n' | status_of)"
check "Expect: 100-continue" "100 204" \
  "$(client continue "$port" 'artist=Expect&album=&title=Continue')"
check "Expect: 100-continue: stored" "Continue" "$(route_title "$port")"
# A HEAD answer has a head only: the next answer on the same connection
# follows right after it.
pair=$(client raw "$port" $'HEAD /?overlay=1 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\nGET /now_playing.json HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n')
check "HEAD, then GET on one connection" "HTTP/1.1 200 OK HTTP/1.1 200 OK" \
  "$(grep '^HTTP/' <<<"$pair" | tr -d '\r' | tr '\n' ' ' | sed 's/ $//')"
check "HEAD: no body before the next answer" 1 "$(grep -c '^{$' <<<"$pair")"

# What the mutation gaps were: the 204 of a stored report, files replaced by
# renaming rather than rewritten, lower-case hex digits, and control
# characters dropped before the cut to 500, as the PHP receiver does.
check "a stored report: 204 No Content" "HTTP/1.1 204 No Content" "$(client raw "$port" \
  $'GET /set_current_song.php?artist=&album=&title=Status HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' | head -n1 | tr -d '\r')"
check "the 204 report stored" "Status" "$(stored_title Status)"
ln -f "$files/now_playing.txt" "$work/old-text.txt"
inode=$(stat -c %i "$files/now_playing.txt")
client fire "$port" 'artist=&album=&title=Renamed%20over'
stored_title "Renamed over" >/dev/null
check "song file replaced: the old file kept its text" "Status" "$(cat "$work/old-text.txt")"
check "song file replaced: a new file" new \
  "$([ "$(stat -c %i "$files/now_playing.txt")" != "$inode" ] && echo new || echo same)"
rm -f "$work/old-text.txt"
client fire "$port" 'artist=%c3%a9&album=&title=caf%e9%20%c0%ff%af%Fa'
check "lower-case hex digits" "café Àÿ¯ú" "$(stored_title "café Àÿ¯ú")"
check "lower-case hex digits: artist" "Ã©" "$(field artist)"
cut_query="artist=&album=&title=$(printf '%%01%.0s' $(seq 10))$(printf 'a%.0s' $(seq 495))bcdefghij"
php_title=$(php -r 'require $argv[1];
  echo to_clean_utf8(rawurldecode(substr($argv[2], strpos($argv[2], "title=") + 6)));' \
  "$repo/examples/server/song_store.php" "$cut_query")
client fire "$port" "$cut_query"
check "controls dropped before the cut: as the PHP receiver" "$php_title" \
  "$(stored_title "$php_title")"
check "controls dropped before the cut: 495 a and bcdef" "$(printf 'a%.0s' $(seq 495))bcdef" "$php_title"

# 4. A reader holds now_playing.txt open without delete sharing: reports are
# still answered at once, the page has the new song, the text file follows
# when it is let go, and the failure is printed once.
(cd "$bin" && exec "$wine" hold_file.exe "$(windows_path "$files/now_playing.txt")" 4500) \
  >"$work/hold.log" 2>&1 &
hold_pid=$!
check "file held: holder started" 1 "$(logged '^held' "$work/hold.log")"
held=$(client reports "$port" 20 Held 0)
check "file held: every report answered 204" "statuses: 204x20" "$(head -n1 <<<"$held")"
echo "$held" | tail -n1
check "file held: the JSON route has the last song at once" "Held 20" "$(route_title "$port")"
check "file held: the text file is not replaced meanwhile" kept \
  "$([ "$(cat "$files/now_playing.txt")" = "Held 20" ] && echo replaced || echo kept)"
key=$(grep -o 'control#key=[0-9a-f]*' "$work/receiver.log" | cut -d= -f2)
check "file held: the control page lists it" now_playing.txt "$(control_files "$port" "$key")"
wait "$hold_pid"
check "file held: let go" released "$(tail -n1 "$work/hold.log" | tr -d '\r')"
# However long a file is held, it is tried again at least once a second.
for _ in $(seq 15); do [ "$(cat "$files/now_playing.txt")" = "Held 20" ] && break; sleep 0.1; done
check "file held: the text file ends with the last song within 1.5 s" "Held 20" "$(cat "$files/now_playing.txt")"
check "file held: the failure printed once, with the file name" 1 \
  "$(grep -c 'cannot replace .*now_playing\.txt: ' "$work/receiver.log")"
check "file held: and that it was written again" 1 \
  "$(logged 'now_playing\.txt written again' "$work/receiver.log")"
check "file held: the control page no longer lists it" "" "$(control_files "$port" "$key")"

# 2. The connection cap: a report always finds room. Past 64 connections a
# new one makes the longest-idle one go, never one in the middle of a
# request; of the event followers the oldest goes past 32. A receiver of its
# own, so that only these connections count.
port3=$(free_port)
mkdir -p "$work/files3"
start_receiver "$port3" "$work/receiver3.log" --folder "$(windows_path "$work/files3")"
client ready "$port3" || { echo "the third receiver did not start:"; cat "$work/receiver3.log"; }
check "at the cap: the longest idle go, not a request under way" \
  "mid-request report: 204
closed idle: 1-17" "$(client mid-request "$port3" 80)"
check "the 33rd follower: the first goes" "closed followers: 1" "$(client followers "$port3" 33)"
# Pages that come back at once when closed make the receiver close and take
# connections without end: about 2,000 for 64 and 64. 32-bit programs under
# wine64 do not bear that many (a wait for completions fails with "No access
# to memory location", or a thread dies with its segment register lost:
# faults of WoW64, seen without the receiver too), so at 32 bits the crowd is
# the smallest past both limits, about 240; the 64-bit build (the stand-in
# on machines without 32-bit code) takes the full one.
if "$repo/tools/cpu32.sh" --is-32bit "$bin/trackwire_receiver.exe"; then
  crowd_followers=40 crowd_idle=30
else
  crowd_followers=64 crowd_idle=64
fi
check "$crowd_followers followers and $crowd_idle idle connections: every report stored" \
  "30 of 30 reports stored" "$(client crowd "$port3" "$crowd_followers" "$crowd_idle" 30)"
# What the receiver said of it, beyond the songs.
grep -a "^trackwire_receiver:" "$work/receiver3.log" | grep -v "listening on"

# Another code page and line format; a second receiver on a port in use.
port2=$(free_port)
start_receiver "$port2" "$work/receiver2.log" --folder "$(windows_path "$work/files2")" \
  --encoding 1251 --format '{title} / {album}' --allow-host studio.example --key s3cret
client ready "$port2" || { echo "the second receiver did not start:"; cat "$work/receiver2.log"; }
check "--key: a report without it is refused" 403 "$(client raw "$port2" \
  $'GET /set_current_song.php?artist=No&album=&title=Key HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' | status_of)"
client fire "$port2" 'key=s3cret&artist=&album=%C0%EB%FC%E1%EE%EC&title=%CF%E5%F1%ED%FF'
check "code page 1251" "Песня" "$(stored_title "Песня" "$work/files2")"
check "own format" "Песня / Альбом" "$(cat "$work/files2/now_playing.txt")"
check "--allow-host: that name is answered" 204 "$(client raw "$port2" \
  $'GET /set_current_song.php?key=s3cret&artist=&album=&title=%D1%F2%F3%E4%E8%FF HTTP/1.1\r\nHost: Studio.Example:8080\r\nConnection: close\r\n\r\n' | status_of)"
check "--allow-host: stored" "Студия" "$(stored_title "Студия" "$work/files2")"
(cd "$work" && "$wine" "$bin/trackwire_receiver.exe" --port 65616) >"$work/port-wraps.log" 2>&1
check "--port beyond 16 bits: exit code" 2 $?
check "--port beyond 16 bits: message" 1 "$(grep -c 'port takes a number from 1 to 65535, not 65616' "$work/port-wraps.log")"
# A second receiver on that port is told that the user's own runs there;
# a port that another program has is said to be in use.
(cd "$work" && "$wine" "$bin/trackwire_receiver.exe" --port "$port2" --console \
  --folder "$(windows_path "$work/files")") >"$work/second-console.log" 2>&1
check "a second console receiver: exit code" 2 $?
check "a second console receiver: the first runs in a console window" 1 \
  "$(grep -c "a receiver already runs on port $port2 in a console window" "$work/second-console.log")"
check "a second console receiver: not another program" 0 \
  "$(grep -c 'another program' "$work/second-console.log")"
# The holder is a Windows program, so that Windows can name it.
port9=$(free_port)
(cd "$bin" && exec "$wine" hold_port.exe "$port9" 120000) >"$work/hold-port.log" 2>&1 &
other_pid=$!
logged '^listening' "$work/hold-port.log" >/dev/null
(cd "$work" && "$wine" "$bin/trackwire_receiver.exe" --port "$port9" --console \
  --folder "$(windows_path "$work/files")") >"$work/in-use.log" 2>&1
check "port in use: exit code" 2 $?
check "port in use: the holder named, --port" 1 \
  "$(grep -c "port $port9 .*already in use by hold_port\.exe (process [0-9]*)\..*--port" "$work/in-use.log")"

# The end of the session reaches a console receiver (Windows sends it no
# console event) through its hidden window: it stops, with the song files
# written, before it answers.
port10=$(free_port)
mkdir -p "$work/files10"
start_receiver "$port10" "$work/receiver10.log" --folder "$(windows_path "$work/files10")"
session_pid=$!
client ready "$port10" || echo "the tenth receiver did not start"
(cd "$bin" && exec "$wine" hold_file.exe "$(windows_path "$work/files10/now_playing.txt")" 1500) \
  >"$work/hold10.log" 2>&1 &
hold10_pid=$!
logged '^held' "$work/hold10.log" >/dev/null
client fire "$port10" 'artist=&album=&title=Pending'
wait "$hold10_pid"
driver end-session "$port10"
check "end of the session: answered" 0 $?
check "end of the session: the pending file written before the answer" "Pending" \
  "$(cat "$work/files10/now_playing.txt" 2>/dev/null)"
for _ in $(seq 50); do kill -0 "$session_pid" 2>/dev/null || break; sleep 0.1; done
check "end of the session: the receiver ended" ended \
  "$(kill -0 "$session_pid" 2>/dev/null && echo running || echo ended)"
check "end of the session: clean stop" 1 "$(grep -c '^trackwire_receiver: stopped' "$work/receiver10.log")"

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

wait "$slow_pid"
check "a write under way at a ping: the stream stays" \
  "stream kept: yes; next song: yes" "$(cat "$work/slow-follower.log")"

# 5. A restart: the page and the JSON route have the last song at once; a
# song file that holds no song is ignored, with one line; one of null (no
# song yet), silently.
port4=$(free_port)
start_receiver "$port4" "$work/receiver4.log" --folder "$(windows_path "$files")"
client ready "$port4" || { echo "the restarted receiver did not start:"; cat "$work/receiver4.log"; }
check "after a restart: the JSON route" "Held 20" "$(route_title "$port4")"
check "after a restart: the page" 1 "$(client get "$port4" / | grep -c '>Held 20</div>')"
mkdir -p "$work/files4"
printf '{"artist": "Cut", "title": "off' >"$work/files4/now_playing.json"
port5=$(free_port)
start_receiver "$port5" "$work/receiver5.log" --folder "$(windows_path "$work/files4")"
client ready "$port5" || { echo "the fifth receiver did not start:"; cat "$work/receiver5.log"; }
check "a broken song file: nothing yet" "(no song)" "$(route_title "$port5")"
check "a broken song file: said once" 1 \
  "$(logged 'ignoring .*now_playing\.json: it holds no song' "$work/receiver5.log")"
mkdir -p "$work/files5"
printf 'null\n' >"$work/files5/now_playing.json"
port10=$(free_port)
start_receiver "$port10" "$work/receiver10.log" --folder "$(windows_path "$work/files5")"
client ready "$port10" || { echo "the tenth receiver did not start:"; cat "$work/receiver10.log"; }
check "a song file of null: nothing yet" "(no song)" "$(route_title "$port10")"
check "a song file of null: nothing said" "1 0" \
  "$(logged 'listening on' "$work/receiver10.log") $(grep -c 'ignoring' "$work/receiver10.log")"

# 6. A console that takes no output (here a pipe that nobody reads, as a
# QuickEdit selection stops a console window): reports are still answered;
# once it is read again, the newest lines come and the oldest are dropped.
mkfifo "$work/console.fifo"
exec 7<>"$work/console.fifo"
port6=$(free_port)
mkdir -p "$work/files6"
start_receiver "$port6" "$work/console.fifo" --folder "$(windows_path "$work/files6")"
client ready "$port6" || echo "the sixth receiver did not start"
quiet=$(client reports "$port6" 250 Quiet 500)
check "console not read: every report answered" "statuses: 204x250" "$(head -n1 <<<"$quiet")"
check "console not read: the JSON route has the last song" "Quiet 250" "$(route_title "$port6")"
cat <&7 >"$work/console.log" &
drain_pid=$!
check "console read again: the newest line" 1 "$(logged ' - Quiet 250' "$work/console.log")"
check "console read again: dropped lines said once" 1 \
  "$(grep -c 'older lines not shown: the console was not taking output' "$work/console.log")"
kill "$drain_pid"
drain_pid=""
exec 7<&-

# 9. As an icon, the default. One file per field, UTF-8 without a BOM or a
# line end, an empty one for an empty field.
port8=$(free_port)
files8=$work/files8
mkdir -p "$files8"
# A format that starts with dashes is a value, also in the log-on start.
start_tray "$port8" "$work/tray.log" --folder "$(windows_path "$files8")" --format --console
tray_pid=$!
client ready "$port8" || { echo "the receiver with an icon did not start:"; cat "$work/tray.log"; }
client fire "$port8" 'artist=Les%20%C9toiles&album=Nuit%20%26%20Jour&title=Caf%E9'
file_holds "$files8/title.txt" "Café" >/dev/null
check "artist.txt" "$(printf 'Les Étoiles' | bytes)" "$(bytes "$files8/artist.txt")"
check "album.txt" "$(printf 'Nuit & Jour' | bytes)" "$(bytes "$files8/album.txt")"
check "title.txt" "$(printf 'Café' | bytes)" "$(bytes "$files8/title.txt")"
client fire "$port8" 'artist=Solo&album=&title=Alone'
check "without an album: title.txt" "Alone" "$(file_holds "$files8/title.txt" "Alone")"
check "without an album: album.txt empty" "present, 0 bytes" \
  "$([ -f "$files8/album.txt" ] && echo "present, $(stat -c %s "$files8/album.txt") bytes")"
check "without an album: artist.txt" "Solo" "$(cat "$files8/artist.txt")"

# A second start tells the first one to show itself and ends with 0; the
# first one goes on.
(cd "$work" && timeout 60 "$wine" "$bin/trackwire_receiver.exe" --port "$port8" \
  --folder "$(windows_path "$files8")") >"$work/second.log" 2>&1
check "second start: exit code" 0 $?
check "second start: no port in use" 0 "$(grep -c 'already in use' "$work/second.log")"
check "second start: the first one opens its control page" 1 \
  "$(opened "^http://127\.0\.0\.1:$port8/control#key=[0-9a-f]{32}$")"
client fire "$port8" 'artist=Solo&album=&title=Still%20first'
check "second start: the first one still stores" "Still first" \
  "$(file_holds "$files8/title.txt" "Still first")"
# A console receiver on the icon's port is told so, and does not run.
(cd "$work" && "$wine" "$bin/trackwire_receiver.exe" --port "$port8" --console \
  --folder "$(windows_path "$files8")") >"$work/console-on-icon.log" 2>&1
check "a console receiver on the icon's port: exit code" 2 $?
check "a console receiver on the icon's port: the icon runs there" 1 \
  "$(grep -c "a receiver already runs on port $port8, as an icon" "$work/console-on-icon.log")"

# "Start when I log on" writes the Run value with this program, its folder
# and its options but not --console; again, and the value is gone.
run_name='WinAmp Tunebeacon Receiver'
"$wine" reg delete "$run_key" /v "$run_name" /f >/dev/null 2>&1
expected_run="\"$(windows_path "$bin")\\trackwire_receiver.exe\" --folder $(windows_path "$files8") --port $port8 --format --console"
driver command "$port8" 4
for _ in $(seq 50); do [ -n "$(run_value "$run_name")" ] && break; sleep 0.1; done
check "start when I log on: the Run value" "$expected_run" "$(run_value "$run_name")"
driver command "$port8" 4
for _ in $(seq 50); do [ -z "$(run_value "$run_name")" ] && break; sleep 0.1; done
check "start when I log on, again: the value gone" "" "$(run_value "$run_name")"

# An icon on a console receiver's port says so where its output goes (else
# in a box), and ends.
(cd "$work" && timeout 60 "$wine" "$bin/trackwire_receiver.exe" --port "$port2" \
  --folder "$(windows_path "$work/files2")") >"$work/tray-on-console.log" 2>&1
check "an icon on a console receiver's port: exit code" 0 $?
check "an icon on a console receiver's port: said so" 1 \
  "$(grep -c "a receiver already runs on port $port2 in a console window" "$work/tray-on-console.log")"
# The console receiver's hidden window opens the page it printed.
console_page=$(grep -o "http://127\.0\.0\.1:$port2/control#key=[0-9a-f]*" "$work/receiver2.log")
check "an icon on a console receiver's port: that one opens its control page" 1 \
  "$(opened "^${console_page:-none}$")"

# An error that ends the program shows in a message box, with the console
# mode's exit code: here a port that another program has, and where an icon
# user sets another (--port would win over the settings file).
mkdir -p "$work/files9"
printf '[receiver]\r\nport = %s\r\n' "$port9" >"$work/files9/trackwire_receiver.ini"
(cd "$work" && exec "$wine" "$bin/trackwire_receiver.exe" --folder "$(windows_path "$work/files9")") \
  >"$work/tray-in-use.log" 2>&1 &
in_use_pid=$!
in_use_box=$(driver message-box)
check "port in use, as an icon: the holder named" 1 \
  "$(grep -c "port $port9 .*already in use by hold_port\.exe (process [0-9]*)\." <<<"$in_use_box")"
check "port in use, as an icon: the settings file, not --port" "1 0" \
  "$(grep -cF "under [receiver] in the settings file $(windows_path "$work/files9")\trackwire_receiver.ini" <<<"$in_use_box") $(grep -c -- '--port' <<<"$in_use_box")"
for _ in $(seq 100); do kill -0 "$in_use_pid" 2>/dev/null || break; sleep 0.1; done
wait "$in_use_pid"
check "port in use, as an icon: exit code" 2 $?

# "Exit" ends it cleanly.
driver command "$port8" 5
for _ in $(seq 100); do kill -0 "$tray_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$tray_pid" 2>/dev/null; then
  check "Exit ends the receiver" "ended" "still running"
else
  wait "$tray_pid"
  check "Exit: exit code" 0 $?
  check "Exit: clean stop" "trackwire_receiver: stopped" "$(tail -n1 "$work/tray.log" | tr -d '\r')"
fi

kill "$other_pid" 2>/dev/null

checks_summary
