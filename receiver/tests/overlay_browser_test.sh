#!/bin/bash
# The overlay page under headless Chromium, served by a stand-in for the
# receiver's HTTP side (overlay_server.php) with the page that page_print
# makes: with hide=N each new song fades in and out, a receiver that goes
# away and comes back keeps the last song and then follows it again, without
# hide the song stays, idle fades it out until the next song, and the page at
# / shows the time in the viewer's zone and the songs before; a song's cover
# shows beside it once loaded, and nothing shows for none.
#   overlay_browser_test.sh PAGE_PRINT WORK_DIR
set -u
if [ $# -ne 2 ]; then
  echo "usage: overlay_browser_test.sh PAGE_PRINT WORK_DIR" >&2
  exit 2
fi
repo=$(cd "$(dirname "$0")/../.." && pwd)
source "$repo/tests/support/script_support.sh"
if ! command -v chromium >/dev/null; then
  echo "overlay_browser_test: no chromium; tools/install-deps.sh installs it"
  exit 1
fi
work=$(realpath -m "$2")
rm -rf "$work"
mkdir -p "$work"
export OVERLAY_PAGE_PRINT=$(realpath "$1")
export OVERLAY_SONG=$work/song.json OVERLAY_HISTORY=$work/history.json
export OVERLAY_COVER=$work/cover.png
source "$repo/receiver/tests/browser_support.sh"

server_pid=""
stop_server() {
  [ -n "$server_pid" ] || return 0
  kill -- -"$server_pid" 2>/dev/null
  wait "$server_pid" 2>/dev/null
  server_pid=""
}
trap 'stop_browser; stop_server' EXIT

song() {  # song ARTIST ALBUM TITLE RECEIVED [COVER]: what the stand-in serves next
  php -r '$song = ["artist" => $argv[1], "album" => $argv[2],
    "title" => $argv[3], "received" => $argv[4]];
    if (isset($argv[5])) $song["cover"] = $argv[5];
    echo json_encode($song);' "$@" >"$work/song.tmp" &&
    mv "$work/song.tmp" "$OVERLAY_SONG"
}
idle_song() {  # idle_song ARTIST ALBUM TITLE RECEIVED: the same, idle
  php -r 'echo json_encode(["artist" => $argv[1], "album" => $argv[2],
    "title" => $argv[3], "received" => $argv[4], "idle" => true]);' "$@" \
    >"$work/song.tmp" && mv "$work/song.tmp" "$OVERLAY_SONG"
}
# Each in a session of its own, stopped as a group: PHP's workers and
# Chromium's helpers go with them.
start_server() {  # on $port, the same one again after stop_server
  PHP_CLI_SERVER_WORKERS=4 setsid php -S "127.0.0.1:$port" \
    "$repo/receiver/tests/overlay_server.php" >>"$work/server.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 100); do
    php -r 'exit(@fsockopen("127.0.0.1", (int)$argv[1]) ? 0 : 1);' "$port" && return 0
    sleep 0.1
  done
  echo "the stand-in server did not start on port $port"
  exit 1
}
port=$(free_port)
song "Artist A" "Album A" "Title A" 2024-05-01T20:15:00Z
start_server
a="Title A|Artist A|Album A|-" b="Title B|Artist B||-"
c="Title C|Artist C|Album C|-" d="Title D|Artist D|Album D|-"

browse "http://127.0.0.1:$port/?overlay=1&hide=1"
wait_until states "$a|faded"
wait_until opacity 0
check "hide=1: the song shows, then fades out" "$(lines "$a|shown" "$a|faded")" \
  "$(observed states)"
check "hide=1: faded out to nothing" 0 "$(observed opacity)"
song "Artist B" "" "Title B" 2024-05-01T20:19:00Z
wait_until states "$b|faded"
check "hide=1: the next song fades in and out" \
  "$(lines "$a|shown" "$a|faded" "$b|shown" "$b|faded")" "$(observed states)"

# Away and back with the same song: it is not shown again.
stop_server
start_server
for _ in $(seq 300); do [ "$(connections)" -ge 2 ] && break; sleep 0.1; done
check "away and back: the page follows the events again" 2 "$(connections)"
seen=$(reports)
for _ in $(seq 300); do [ "$(reports)" -ge $((seen + 3)) ] && break; sleep 0.1; done
check "away and back, the same song: not shown again" \
  "$(lines "$a|shown" "$a|faded" "$b|shown" "$b|faded")" "$(observed states)"
song "Artist C" "Album C" "Title C" 2024-05-01T20:23:00Z
wait_until states "$c|faded"
# Away while the song changes: the last one stays, the new one comes after.
stop_server
song "Artist D" "Album D" "Title D" 2024-05-01T20:27:00Z
sleep 1
start_server
wait_until states "$d|faded"
check "away and back, a new song: each new song once, nothing in between" \
  "$(lines "$a|shown" "$a|faded" "$b|shown" "$b|faded" "$c|shown" "$c|faded" \
    "$d|shown" "$d|faded")" "$(observed states)"

# Without hide (or with a value that is no number of seconds) the song stays.
for query in "overlay=1" "overlay=1&hide=2x"; do
  browse "http://127.0.0.1:$port/?$query"
  wait_until at 3500
  check "$query: shown and staying" "$d|shown" "$(observed states)"
  check "$query: fully visible" 1 "$(observed opacity)"
done
# Idle: the overlay fades out, and the next song brings it back.
idle_song "Artist D" "Album D" "Title D" 2024-05-01T20:27:00Z
wait_until states "$d|faded"
wait_until opacity 0
check "idle: the overlay fades out" "$(lines "$d|shown" "$d|faded")" \
  "$(observed states)"
e="Title E|Artist E||-"
song "Artist E" "" "Title E" 2024-05-01T20:31:00Z
wait_until states "$e|shown"
check "idle ends with the next song" "$(lines "$d|shown" "$d|faded" "$e|shown")" \
  "$(observed states)"

# The page at / shows when the song came in the viewer's time zone (UTC+5:30
# here), and no hide applies to it.
song "Artist A" "Album A" "Title A" 2024-05-01T20:15:00Z
browse "http://127.0.0.1:$port/?hide=1" TZ=Asia/Kolkata
wait_until at 2500
received=$(observed states | tail -n1 | cut -d"|" -f4)
check "page at /: received in local time" yes \
  "$(grep -q '^received 5/2/2024, 1:45:00' <<<"$received" && echo yes || echo "$received")"
check "page at /: hide does not apply" shown "$(observed states | tail -n1 | cut -d"|" -f5)"

# The page at / lists the songs before the one on show, from /history.json.
printf '%s' '[{"artist": "Artist A", "album": "", "title": "Title A", "time": "2024-05-01T21:45:00+05:30"},
  {"artist": "", "album": "", "title": "<b>B</b>", "time": "2024-05-01T21:40:00+05:30"},
  {"artist": "Artist C", "album": "", "title": "Title C", "time": "2024-05-01T21:36:00+05:30"}]' \
  >"$OVERLAY_HISTORY"
browse "http://127.0.0.1:$port/"
wait_until at 2500
check "page at /: the songs before, as text" "$(lines "21:40  <b>B</b>" "21:36  Artist C - Title C")" \
  "$(observed history)"

# The cover: from the page's first data, then from each event; beside the
# text once loaded, a square about as high as the text block; nothing at all
# without one or when it does not load; one found later for the song on show
# comes without showing the song again.
# A 4x4 PNG.
printf '%s' 'iVBORw0KGgoAAAANSUhEUgAAAAQAAAAECAIAAAAmkwkpAAAAEElEQVR4nGO44GAARwzEcQASUhQBJUh4JwAAAABJRU5ErkJggg==' |
  base64 -d >"$OVERLAY_COVER"
k1=0123456789abcdef k2=fedcba9876543210 k3=00000000000000ff
f="Title F|Artist F|Album F|-" g="Title G|Artist G|Album G|-" h="Title H|Artist H||-"
song "Artist F" "Album F" "Title F" 2024-05-01T20:35:00Z "/cover.jpg?$k1"
browse "http://127.0.0.1:$port/?overlay=1"
wait_until cover "block|4|/cover.jpg?$k1"
check "cover: from the page's first data, loaded" "block|4|/cover.jpg?$k1" \
  "$(observed cover)"
read -r width height text_height <<<"$(observed sizes)"
check "cover: a square about the text block's height" yes \
  "$( ((width > 0 && width == height && 4 * height >= 3 * text_height &&
        4 * height <= 5 * text_height)) && echo yes ||
      echo "$width x $height beside $text_height")"
song "Artist G" "Album G" "Title G" 2024-05-01T20:39:00Z
wait_until cover "none|0|"
check "cover: none for a song without one" "none|0|" "$(observed cover)"
song "Artist G" "Album G" "Title G" 2024-05-01T20:39:00Z "/cover.jpg?$k2"
wait_until cover "block|4|/cover.jpg?$k2"
check "cover: found later for the song on show" "block|4|/cover.jpg?$k2" \
  "$(observed cover)"
check "cover: the song is not shown again for it" \
  "$(lines "$f|shown" "$g|shown")" "$(observed states)"
rm "$OVERLAY_COVER"
song "Artist H" "" "Title H" 2024-05-01T20:43:00Z "/cover.jpg?$k3"
wait_until states "$h|shown"
wait_until cover "none|0|/cover.jpg?$k3"
check "cover: nothing when it does not load" "none|0|/cover.jpg?$k3" \
  "$(observed cover)"

stop_browser
stop_server
checks_summary
