#!/bin/bash
# The shipped trackwire_receiver.exe under wine64 with the stand-ins' Last.fm
# and MusicBrainz (stand_ins.py): "Connect Last.fm" through the control
# page's calls, the session written sealed into the settings file; 120
# scrobbles kept from before sent 50 a request; playing now and a scrobble
# of the 32 s song after 16 s and no other, every call signed; scrobbles kept
# over an outage (error 11) and a restart; error 9 told once, and then
# nothing more sent.
#
#   receiver_lastfm_test.sh BIN_DIR WINEPREFIX WORK_DIR
set -u
source "$(dirname "$0")/receiver_support.sh" receiver_lastfm_test.sh "$@"
rm -rf "$work"
mkdir -p "$work/files"
files=$work/files
log=$work/services.jsonl

stand_ins_pid="" receiver_pid=""
finish() {
  [ -n "$receiver_pid" ] && stop_receiver
  /usr/lib/wine/wineserver -k 2>/dev/null
  [ -n "$stand_ins_pid" ] && kill "$stand_ins_pid" 2>/dev/null && wait "$stand_ins_pid" 2>/dev/null
}
trap finish EXIT
"$repo/tools/cpu32.sh" --check "$bin/trackwire_receiver.exe" || exit 1

"$python" "$here/stand_ins.py" --ports-file "$work/ports" --log "$log" \
  2>"$work/stand_ins.err" &
stand_ins_pid=$!
for _ in $(seq 150); do [ -s "$work/ports" ] && break; sleep 0.1; done
[ -s "$work/ports" ] || { echo "the stand-ins did not start:"; cat "$work/stand_ins.err"; exit 1; }
source "$work/ports"
logq() { "$python" "$here/stand_in_log.py" "$log" "$@"; }
lastfm_calls() {  # lastfm_calls METHOD [MORE_FILTER]
  logq count "r['service'] == 'lastfm' and q.get('method') == '$1' ${2:-}"
}
wait_for() {  # wait_for SECONDS COMMAND...: until COMMAND succeeds
  local tries=$(($1 * 10))
  shift
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done
  return 1
}

port=$(free_port)
ini=$files/trackwire_receiver.ini
printf '%s\r\n' '[covers]' "musicbrainz = http://127.0.0.1:$musicbrainz" \
  '[lastfm]' 'key = test-key' 'secret = test-secret' \
  "url = http://127.0.0.1:$lastfm/2.0/" >"$ini"
# Scrobbles an earlier run kept while Last.fm was not connected.
"$python" -c 'import json
for i in range(120):
    print(json.dumps({"artist": "Kept", "album": "", "title": f"Song {i}",
                      "listened_at": 1765000000 + 240 * i}))' >"$files/scrobbles.jsonl"
start_receiver "$work/receiver.log" --console
key=$(grep -oE 'control#key=[0-9a-f]+' "$work/receiver.log" | cut -d= -f2)
api() {  # api NAME [BODY]: a control page's call
  if [ $# -gt 1 ]; then
    curl -s -H "X-Trackwire-Key: $key" -H 'Content-Type: application/json' \
      -d "$2" "http://127.0.0.1:$port/control/api/$1"
  else
    curl -s -H "X-Trackwire-Key: $key" "http://127.0.0.1:$port/control/api/$1"
  fi
}
lastfm_state() {  # lastfm_state FIELD
  api state | "$python" -c 'import json, sys; print(json.load(sys.stdin)["lastfm"][sys.argv[1]])' "$1"
}
stage_is() { [ "$(lastfm_state stage)" = "$1" ]; }

set_up() { [ "$(lastfm_state set_up)" = True ]; }
wait_for 5 set_up
check "set up, not connected: nothing sent yet" "True False 0" \
  "$(lastfm_state set_up) $(lastfm_state connected) $(logq count 'r["service"] == "lastfm"')"
api lastfm/connect '{}' >/dev/null
wait_for 10 stage_is waiting
page=$(lastfm_state page)
check "connect: a token, and the page where the user allows it" \
  "http://127.0.0.1:$lastfm/api/auth/?api_key=test-key&token=token0" "$page"
sleep 6  # one auth.getSession at least before the user allows it
curl -sf -o /dev/null "$page"
has_session() { grep -q '^session = dpapi:' "$ini"; }
wait_for 20 has_session
check "the session in the settings file, sealed only" "1 0" \
  "$(grep -c '^session = dpapi:' "$ini") $(grep -c 'stand-in-session' "$ini")"
check "auth.getSession asked until allowed, then no more" "yes" \
  "$( (($(lastfm_calls auth.getSession) >= 2)) && echo yes || echo "no: $(lastfm_calls auth.getSession)")"
connected() { [ "$(lastfm_state connected)" = True ]; }
wait_for 10 connected
check "the control page: connected" "True idle" "$(lastfm_state connected) $(lastfm_state stage)"

# The 120 kept scrobbles, oldest first, 50 a request.
batches() { [ "$(lastfm_calls track.scrobble 'and r["status"] == 200')" -ge 3 ]; }
wait_for 20 batches
check "120 kept scrobbles in three requests, oldest first" "50|Song 0 50|Song 50 20|Song 100" \
  "$(logq show 'r["service"] == "lastfm" and q.get("method") == "track.scrobble"' \
     '(sum(1 for n in q if n.startswith("timestamp[")), q["track[0]"])' | paste -sd' ')"
has_no_scrobbles() { [ ! -s "$files/scrobbles.jsonl" ]; }
wait_for 5 has_no_scrobbles
check "the journal emptied once Last.fm took them" 0 "$(cat "$files/scrobbles.jsonl" 2>/dev/null | wc -l)"

# Playing now, then a scrobble by the length: the 32 s song counts after 16 s.
report 'Lyric Band' Songs 'Synced Song'
started=$(date +%s)
playing() { [ "$(lastfm_calls track.updateNowPlaying)" -ge 1 ]; }
wait_for 10 playing
check "playing now: artist, track and album" "Lyric Band|Synced Song|Songs|200" \
  "$(logq show 'r["service"] == "lastfm" and q.get("method") == "track.updateNowPlaying"' \
     '(q["artist"], q["track"], q.get("album"), r["status"])' | head -n1)"
sleep 17
report 'Lyric Band' Songs 'Plain Song'
scrobbled() { [ "$(lastfm_calls track.scrobble 'and q.get("track[0]") == "Synced Song"')" -ge 1 ]; }
wait_for 10 scrobbled
check "the scrobble: the song's start as its timestamp" "Synced Song|Songs|yes" \
  "$(logq show 'r["service"] == "lastfm" and q.get("track[0]") == "Synced Song"' \
     "(q['track[0]'], q['album[0]'], 'yes' if abs(int(q['timestamp[0]']) - $started) <= 3 else q['timestamp[0]'])")"

# An outage: Last.fm offline (error 11) when "Plain Song" (180 s) has
# played 4 minutes; the scrobble stays on disk over a restart.
mode lastfm error11
sleep 2
report 'Lyric Band' Songs 'Search Song'  # "Plain Song" after 2 s: no scrobble
sleep 1
stop_receiver
receiver_pid=""
check "nothing scrobbled of the songs that did not count" 0 \
  "$(lastfm_calls track.scrobble 'and q.get("track[0]") in ("Plain Song", "Search Song")')"
# One that counts, kept while Last.fm is offline.
printf '%s\n' '{"artist":"Lyric Band","album":"Songs","title":"Outage Song","listened_at":1765100000}' \
  >>"$files/scrobbles.jsonl"
start_receiver "$work/receiver2.log" --console
key=$(grep -oE 'control#key=[0-9a-f]+' "$work/receiver2.log" | cut -d= -f2)
offline() { [ "$(lastfm_calls track.scrobble 'and r["mode"] == "error11" and q.get("track[0]") == "Outage Song" and r["status"] == 503')" -ge 1 ]; }
wait_for 10 offline
check "offline: the scrobble kept" 1 "$(grep -c 'Outage Song' "$files/scrobbles.jsonl")"
mode lastfm ok
outage_sent() { [ "$(lastfm_calls track.scrobble 'and q.get("track[0]") == "Outage Song" and r["status"] == 200')" -ge 1 ]; }
wait_for 15 outage_sent
check "back online: sent, and gone from the journal" "1 0" \
  "$(lastfm_calls track.scrobble 'and q.get("track[0]") == "Outage Song" and r["status"] == 200') $(
     grep -c 'Outage Song' "$files/scrobbles.jsonl" 2>/dev/null || echo 0)"

# Error 9: the session no longer valid. Told once, nothing more sent.
mode lastfm error9
report 'Lyric Band' Songs 'Refused Song'
refused() { grep -q 'Last.fm refused the session' "$work/receiver2.log"; }
wait_for 10 refused
report 'Lyric Band' Songs 'After Song'
sleep 2
check "error 9: told once, asking to connect again; nothing sent after it" "1 0" \
  "$(grep -c 'Last.fm refused the session (error 9: stand-in 9); connect Last.fm again on the control page' "$work/receiver2.log") $(
     lastfm_calls track.updateNowPlaying 'and q.get("track") == "After Song"')"
check "every call signed as documented (no error 13)" 0 \
  "$(logq count 'r["service"] == "lastfm" and r["status"] == 401')"
api lastfm/disconnect '{}' >/dev/null
not_connected() { [ "$(lastfm_state connected)" = False ]; }
wait_for 5 not_connected
check "disconnect: the session gone from the settings file" "0 False" \
  "$(grep -c '^session' "$ini") $(lastfm_state connected)"
checks_summary
