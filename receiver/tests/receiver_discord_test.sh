#!/bin/bash
# The shipped trackwire_receiver.exe under wine64 showing each song on a
# Discord profile through discord_stand_in.exe, which serves the Discord
# app's pipe and logs every frame: nothing said while the app is away, the
# handshake, the PING answered, the current song set once the app comes, the
# activity without and with a cover (found, then from the cache, with the
# covers' stand-ins), cleared when idle and at exit, set again after the app
# restarts, at most 5 updates in 20 s under a burst of songs, and a refused
# application ID told once and not tried again.
#
#   receiver_discord_test.sh BIN_DIR WINEPREFIX WORK_DIR
set -u
source "$(dirname "$0")/receiver_support.sh" receiver_discord_test.sh "$@"
python=/usr/bin/python3
rm -rf "$work"
mkdir -p "$work/files" "$work/burst" "$work/refused"
files=$work/files
dlog=$work/discord.jsonl
slog=$work/services.jsonl
: >"$dlog"
app=123456789012345678 burst_app=223456789012345678 refused_app=99999999999999999

xvfb_pid="" stand_ins_pid="" discord_pid="" burst_pid="" refused_pid=""
finish() {
  exec 3>&- 2>/dev/null
  /usr/lib/wine/wineserver -k 2>/dev/null
  for pid in "$discord_pid" "$burst_pid" "$refused_pid" "$stand_ins_pid" "$xvfb_pid"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
}
trap finish EXIT
start_xvfb "$work/display"
"$repo/tools/cpu32.sh" --check "$bin/trackwire_receiver.exe" || exit 1

"$python" "$here/stand_ins.py" --ports-file "$work/ports" --log "$slog" \
  2>"$work/stand_ins.err" &
stand_ins_pid=$!
for _ in $(seq 150); do [ -s "$work/ports" ] && break; sleep 0.1; done
[ -s "$work/ports" ] || { echo "the stand-ins did not start:"; cat "$work/stand_ins.err"; exit 1; }
source "$work/ports"  # musicbrainz=PORT coverart=PORT ...

# dq count FILTER | dq show FILTER VALUE: the Discord stand-in's log, r a
# line (time_ms, connection, op, data; see stand_in_log.py).
dq() { "$python" "$here/stand_in_log.py" "$dlog" "$@"; }
# Waits up to SECONDS for N lines that FILTER holds for; prints how many.
dawait() {  # dawait N FILTER SECONDS
  local until=$((SECONDS + $3))
  while [ "$(dq count "$2")" -lt "$1" ] && [ $SECONDS -lt $until ]; do
    sleep 0.2
  done
  dq count "$2"
}
# SET_ACTIVITY frames of the receiver with process id $1 (any: true).
set_activity() {
  printf 'r.get("op") == 1 and r["data"]["cmd"] == "SET_ACTIVITY" and (%s)' "$1"
}
# The activity's fields, for a song's title ("" for a clear).
activity_of() {  # activity_of TITLE: FILTER
  set_activity "r['data']['args'].get('activity', {}).get('details', '') == '''$1'''"
}
fields='(a["type"], a["status_display_type"], a["details"], a["state"], a["assets"].get("large_image"), a["assets"].get("large_text"), "end" in a["timestamps"])'
show_fields() {  # show_fields FILTER: the fields of each activity
  dq show "$1" "(lambda a: $fields)(r['data']['args']['activity'])"
}

start_discord() {  # start_discord PIPE_NUMBER: the stand-in, until stop_discord
  local before
  before=$(dq count 'r.get("event") == "listening"')
  rm -f "$work/discord.in"
  mkfifo "$work/discord.in"
  (cd "$bin" && exec "$wine" discord_stand_in.exe --log "$(windows_path "$dlog")" \
    --pipe "$1" --refuse "$refused_app") <"$work/discord.in" >>"$work/discord.out" 2>&1 &
  discord_pid=$!
  exec 3>"$work/discord.in"
  [ "$(dawait $((before + 1)) 'r.get("event") == "listening"' 15)" -gt "$before" ] ||
    { echo "the Discord stand-in did not start:"; cat "$work/discord.out"; exit 1; }
}
stop_discord() {
  echo quit >&3
  exec 3>&-
  for _ in $(seq 50); do kill -0 "$discord_pid" 2>/dev/null || break; sleep 0.1; done
  kill "$discord_pid" 2>/dev/null
  wait "$discord_pid" 2>/dev/null
  discord_pid=""
}
# report ARTIST ALBUM TITLE [PORT]: as the plug-in sends it.
now_ms() { date +%s%3N; }

port=$(free_port)
printf '%s\r\n' '[covers]' 'enabled = yes' \
  "musicbrainz = http://127.0.0.1:$musicbrainz" "coverart = http://127.0.0.1:$coverart" \
  '[discord]' "application = $app" 'image = trackwire-logo' >"$files/trackwire_receiver.ini"
start_receiver "$work/receiver.log" --console

# a) The Discord app not running: the song waits, and nothing is said.
cafe_ms=$(now_ms)
report 'Les Étoiles' 'À la carte' 'Café'
sleep 2
check "no Discord app: nothing said" 0 "$(grep -c Discord "$work/receiver.log")"

# b) The app comes (on its third pipe): the handshake with the ID, the PING
# answered with its data, and the current song, dated when it started.
start_discord 2
check "the app comes: a handshake with the ID within 15 s" "1 $app" \
  "$(dawait 1 'r.get("op") == 0' 20) $(dq show 'r.get("op") == 0' 'r["data"]["client_id"]')"
check "the app's PING answered with a PONG of the same data" True \
  "$(dawait 1 'r.get("op") == 4' 5 >/dev/null
     dq show 'r.get("op") == 4' 'r["data"] == {"stand_in": "ping", "connection": 1}')"
check "the current song set once the app is there: Listening, the fields, the asset" \
  "2|1|Café|Les Étoiles|trackwire-logo|À la carte|False" \
  "$(dawait 1 "$(activity_of Café)" 5 >/dev/null; show_fields "$(activity_of Café)")"
pid=$(dq show "$(activity_of Café)" 'r["data"]["args"]["pid"]')
check "the activity names the receiver's process, and a nonce" True \
  "$(dq show "$(activity_of Café)" 'r["data"]["args"]["pid"] > 0 and r["data"]["nonce"] != ""')"
started=$(dq show "$(activity_of Café)" 'r["data"]["args"]["activity"]["timestamps"]["start"]')
check "its start: when the report came, less the plug-in's second" yes \
  "$([ $((started - cafe_ms + 1000)) -ge -200 ] && [ $((started - cafe_ms + 1000)) -le 1500 ] && echo yes || echo "no: $started for $cafe_ms")"

# c) A song with a cover: first with the asset, then with the cover's
# address on the archive (here its stand-in).
cover_url="http://127.0.0.1:$coverart/release-group/b8aef8a5-0001-4a9b-9b3a-000000000001/front-500"
report 'Daft Punk' Discovery 'One More Time'
check "a song with a cover: the asset, then the cover's address" \
  "trackwire-logo $cover_url" \
  "$(dawait 2 "$(activity_of 'One More Time')" 10 >/dev/null
     dq show "$(activity_of 'One More Time')" 'r["data"]["args"]["activity"]["assets"]["large_image"]' | paste -sd' ')"

# d) Idle clears the activity: SET_ACTIVITY without one.
cleared='"activity" not in r["data"]["args"]'
applied() { grep -c 'trackwire_receiver.ini applied' "$work/receiver.log"; }
save() {  # save SECTION_LINES...: the settings file as before with them, applied
  local before
  before=$(applied)
  sed -i '/^\[idle\]/,$d' "$files/trackwire_receiver.ini"
  [ $# -gt 0 ] && printf '%s\r\n' "$@" >>"$files/trackwire_receiver.ini"
  for _ in $(seq 50); do [ "$(applied)" -gt "$before" ] && break; sleep 0.1; done
}
save '[idle]' 'minutes = 0.05'
check "idle clears the activity" 1 "$(dawait 1 "$(set_activity "$cleared")" 10)"
save

# e) The app restarts (on its first pipe this time): the receiver comes back
# within 15 s and sets the current song again.
report Portishead 'Not Here' Roads
dawait 1 "$(activity_of Roads)" 10 >/dev/null
stop_discord
start_discord 0
check "the app restarted: a second handshake, then the song again" "2 2" \
  "$(dawait 2 'r.get("op") == 0' 20) $(dawait 2 "$(activity_of Roads)" 10)"

# f) A cover from the disk cache carries its address too (the song without
# it may not go at all: it waits for the window while the cover comes).
report 'Daft Punk' Discovery Aerodynamic
check "a cached cover: its address kept beside it" 1 \
  "$(dawait 1 "$(activity_of Aerodynamic) and r['data']['args']['activity']['assets']['large_image'] == '$cover_url'" 25)"
check "the cover's address in the cache" "$cover_url" "$(cat "$files"/covers/*.url)"

# g) Exit clears the activity.
stop_receiver
check "exit clears the activity" cleared \
  "$(dq show "$(set_activity "r['data']['args']['pid'] == $pid")" \
     '"cleared" if "activity" not in r["data"]["args"] else r["data"]["args"]["activity"]["details"]' | tail -n1)"

# h) A burst of 10 songs: 5 go at once, the newest when the window allows
# (20 s after the first), the rest never; beside it a receiver whose ID the
# app refuses, told once and not tried again.
burst_port=$(free_port) refused_port=$(free_port)
printf '%s\r\n' '[discord]' "application = $burst_app" >"$work/burst/trackwire_receiver.ini"
printf '%s\r\n' '[discord]' "application = $refused_app" >"$work/refused/trackwire_receiver.ini"
(cd "$work" && exec "$wine" "$bin/trackwire_receiver.exe" --port "$burst_port" --console \
  --folder "$(windows_path "$work/burst")") >"$work/burst.log" 2>&1 &
burst_pid=$!
(cd "$work" && exec "$wine" "$bin/trackwire_receiver.exe" --port "$refused_port" --console \
  --folder "$(windows_path "$work/refused")") >"$work/refused.log" 2>&1 &
refused_pid=$!
client ready "$burst_port" && client ready "$refused_port" ||
  { echo "the second and third receivers did not start"; cat "$work/burst.log" "$work/refused.log"; exit 1; }
refused_at=$SECONDS
# Its PONG, the third of the log, says that it has the app's READY.
dawait 3 'r.get("op") == 4' 20 >/dev/null
for n in $(seq 10); do report Burst Album "Song $n" "$burst_port"; done
burst_at=$SECONDS
burst_filter=$(set_activity "r['data']['args']['activity']['state'] == 'Burst'")
check "a burst: 5 songs at once" "Song 1 Song 2 Song 3 Song 4 Song 5" \
  "$(sleep 3; dq show "$burst_filter" 'r["data"]["args"]["activity"]["details"]' | paste -sd' ')"
check "a burst: the newest when the window allows, the rest never" \
  "Song 1 Song 2 Song 3 Song 4 Song 5 Song 10" \
  "$(dawait 6 "$burst_filter" 30 >/dev/null; sleep 1
     dq show "$burst_filter" 'r["data"]["args"]["activity"]["details"]' | paste -sd' ')"
check "a burst: the newest after 18 to 25 s" yes \
  "$(elapsed=$((SECONDS - burst_at)); [ $elapsed -ge 18 ] && [ $elapsed -le 25 ] && echo yes || echo "no: $elapsed s")"
check "no six updates from a receiver within 20 s" "" \
  "$("$python" - "$dlog" <<'EOF'
import collections, json, sys
sent = collections.defaultdict(list)
for line in open(sys.argv[1], encoding="utf-8"):
    r = json.loads(line)
    if r.get("op") == 1 and r["data"].get("cmd") == "SET_ACTIVITY":
        sent[r["data"]["args"]["pid"]].append(r["time_ms"])
for pid, times in sent.items():
    for i in range(len(times) - 5):
        if times[i + 5] - times[i] < 19500:
            print(pid, times[i], times[i + 5])
EOF
)"
# Past the 15 s after which a refused ID would be tried again.
while [ $SECONDS -lt $((refused_at + 17)) ]; do sleep 0.5; done
check "a refused ID: one handshake in 17 s, told once" "1 1" \
  "$(dq count "r.get('op') == 0 and r['data']['client_id'] == '$refused_app'") $(
     grep -c "Discord refused \[discord\] application = $refused_app: Invalid Client ID (4000)" "$work/refused.log")"
for at in "$burst_port" "$refused_port"; do
  windows_pid=$(pgrep -f "^([A-Z]:|/)[^ ]*trackwire_receiver\.exe --port $at " | head -n1)
  [ -n "$windows_pid" ] && kill -INT "$windows_pid"
done
for _ in $(seq 100); do
  kill -0 "$burst_pid" 2>/dev/null || kill -0 "$refused_pid" 2>/dev/null || break
  sleep 0.1
done
stop_discord
checks_summary
