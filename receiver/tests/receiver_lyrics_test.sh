#!/bin/bash
# The shipped trackwire_receiver.exe under wine64 with song lengths and
# synced lyrics from the stand-ins' MusicBrainz (recording search, in the
# covers' queue) and LRCLIB (stand_ins.py): lyrics.txt and /lyrics in
# headless Chromium on time (lyrics_checks.py), the length in the song files,
# the history and the overlay's progress bar; a song of 32 s counted as a
# listen after 16 s and no other; the requests as the services document
# them, never two to MusicBrainz within a second; the caches.
#
#   receiver_lyrics_test.sh BIN_DIR WINEPREFIX WORK_DIR
set -u
source "$(dirname "$0")/receiver_support.sh" receiver_lyrics_test.sh "$@"
command -v chromium >/dev/null ||
  { echo "receiver_lyrics_test: no chromium; tools/install-deps.sh installs it"; exit 1; }
python=/usr/bin/python3
rm -rf "$work"
mkdir -p "$work/files"
files=$work/files
log=$work/services.jsonl

xvfb_pid="" stand_ins_pid="" receiver_pid=""
finish() {
  [ -n "$receiver_pid" ] && stop_receiver
  /usr/lib/wine/wineserver -k 2>/dev/null
  [ -n "$stand_ins_pid" ] && kill "$stand_ins_pid" 2>/dev/null && wait "$stand_ins_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap finish EXIT
start_xvfb "$work/display"
"$repo/tools/cpu32.sh" --check "$bin/trackwire_receiver.exe" || exit 1

"$python" "$here/stand_ins.py" --ports-file "$work/ports" --log "$log" \
  --token lyrics-token 2>"$work/stand_ins.err" &
stand_ins_pid=$!
for _ in $(seq 150); do [ -s "$work/ports" ] && break; sleep 0.1; done
[ -s "$work/ports" ] || { echo "the stand-ins did not start:"; cat "$work/stand_ins.err"; exit 1; }
source "$work/ports"
logq() { "$python" "$here/stand_in_log.py" "$log" "$@"; }

port=$(free_port)
printf '%s\r\n' '[covers]' 'enabled = yes' "musicbrainz = http://127.0.0.1:$musicbrainz" \
  "coverart = http://127.0.0.1:$coverart" \
  '[listenbrainz]' 'token = lyrics-token' "url = http://127.0.0.1:$listenbrainz" \
  '[lyrics]' 'enabled = yes' 'offset = 0.5' "url = http://127.0.0.1:$lrclib/" \
  >"$files/trackwire_receiver.ini"
start_receiver "$work/receiver.log" --console
check "the console names the lyrics' page" 1 \
  "$(grep -c "lyrics source:  http://127.0.0.1:$port/lyrics" "$work/receiver.log")"

"$python" "$here/lyrics_checks.py" "$port" "$files" "$work"
check "lengths and lyrics in Chromium and lyrics.txt" 0 $?
stop_receiver
receiver_pid=""

# A listen by the length: "Synced Song" (32 s) current for 17 s counts; the
# others, current for a few seconds, do not.
check "listens: the 32 s song after 16 s, and no other" "single|Synced Song" \
  "$(logq show 'r["service"] == "listenbrainz" and r["status"] == 200 and j["listen_type"] != "playing_now"' \
     '(j["listen_type"], "+".join(i["track_metadata"]["track_name"] for i in j["payload"]))')"

recording='r["service"] == "musicbrainz" and "/ws/2/recording" in r["path"]'
check "musicbrainz: the recording search, by artist, title and album" \
  'artist:"Lyric Band" AND recording:"Synced Song" AND release:"Songs"|json|5' \
  "$(logq show "$recording" '(q["query"], q["fmt"], q["limit"])' | head -n1)"
check "musicbrainz: one search a song, the caches after" "1 1 1 1 1" \
  "$(for title in Synced Plain Instrumental Search Missing; do
       logq count "$recording and 'recording:\"$title Song\"' in q['query']"
     done | paste -sd' ')"
check "musicbrainz: covers and lengths in one queue, never two within a second" \
  "none 0" \
  "$(logq show 'r["service"] == "musicbrainz"' 'r["t"]' | awk '
     NR > 1 && $1 - last < 1 { close_pair = 1 } { last = $1 } END { print close_pair ? "some" : "none" }') $(
     logq count 'r["service"] == "musicbrainz" and r["status"] == 503')"
lrclib_get='r["service"] == "lrclib" and r["path"].startswith("/api/get")'
check "lrclib: get with the length, the album and the program's name" \
  "Lyric Band|Synced Song|Songs|32|trackwire_receiver/1.0 ( https://github.com/trackwire/trackwire )" \
  "$(logq show "$lrclib_get and q['track_name'] == 'Synced Song'" \
     '(q["artist_name"], q["track_name"], q["album_name"], q["duration"], h["user-agent"])')"
check "lrclib: a search without a length, once a song" \
  "Lyric Band|Search Song|False|False
Lyric Band|Missing Song|False|False" \
  "$(logq show 'r["service"] == "lrclib" and r["path"].startswith("/api/search")' \
     '(q["artist_name"], q["track_name"], "duration" in q, "album_name" in q)')"
check "the caches: three lengths, two misses; four lyrics, one miss" "3 2 4 1" \
  "$(ls "$files/lengths" | grep -cE '^[0-9a-f]{16}\.length$') $(
     ls "$files/lengths" | grep -cE '^[0-9a-f]{16}\.none$') $(
     ls "$files/lyrics" | grep -cE '^[0-9a-f]{16}\.json$') $(
     ls "$files/lyrics" | grep -cE '^[0-9a-f]{16}\.none$')"
check "nothing told about the services" 0 \
  "$(grep -cE 'MusicBrainz|LRCLIB|Cover Art' "$work/receiver.log")"
checks_summary
