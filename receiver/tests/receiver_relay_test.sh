#!/bin/bash
# The shipped trackwire_receiver.exe under wine64 sending each song to
# stand-ins of its services (stand_ins.py, loopback ports): Icecast,
# SHOUTcast v1 then v2, ListenBrainz, webhooks (one over HTTPS through a
# test CA that the prefix trusts), covers from the lookup and cover stand-ins
# with their cache and a placeholder, misses of every kind and cover.jpg held
# open; the secrets sealed in the settings file; an untrusted certificate,
# refused credentials, a hanging and a refused target; redirects to another
# host; saves that change some targets, or none; the same song after idle;
# a target down for 100 songs; listens kept in the song folder sent after a
# restart in batches, and settled once whatever happens while they are on
# their way.
#
#   receiver_relay_test.sh BIN_DIR WINEPREFIX WORK_DIR
set -u
source "$(dirname "$0")/receiver_support.sh" receiver_relay_test.sh "$@"
python=/usr/bin/python3
rm -rf "$work"
mkdir -p "$work/files"
files=$work/files
ini=$files/trackwire_receiver.ini
log=$work/services.jsonl

xvfb_pid=""
stand_ins_pid=""
finish() {
  /usr/lib/wine/wineserver -k 2>/dev/null
  [ -n "$stand_ins_pid" ] && kill "$stand_ins_pid" 2>/dev/null && wait "$stand_ins_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap finish EXIT
start_xvfb "$work/display"
"$repo/tools/cpu32.sh" --check "$bin/trackwire_receiver.exe" || exit 1

ice_password=ice-secret-7 sc_password=sc-secret-7 token=lb-token-7
"$python" "$here/stand_ins.py" --ports-file "$work/ports" --log "$log" \
  --certs "$work/certs" --icecast-password "$ice_password" \
  --shoutcast-password "$sc_password" --token "$token" 2>"$work/stand_ins.err" &
stand_ins_pid=$!
for _ in $(seq 150); do [ -s "$work/ports" ] && break; sleep 0.1; done
[ -s "$work/ports" ] || { echo "the stand-ins did not start:"; cat "$work/stand_ins.err"; exit 1; }
source "$work/ports"  # musicbrainz=PORT coverart=PORT ... control=PORT
"$wine" "$bin/trust_cert.exe" "$(windows_path "$work/certs/ca.der")" >/dev/null ||
  { echo "cannot trust the test CA in $prefix"; exit 1; }

bytes() { od -An -v -tx1 "$@" | tr -d ' \n'; }
# logq count FILTER | logq show FILTER VALUE: the stand-ins' log (Python
# expressions over r, q, h, j; see stand_in_log.py).
logq() { "$python" "$here/stand_in_log.py" "$log" "$@"; }
# Waits up to SECONDS (default 10) for N requests that FILTER holds for;
# prints how many there are.
await() {  # await N FILTER [SECONDS]
  local until=$((SECONDS + ${3:-10}))
  while [ "$(logq count "$2")" -lt "$1" ] && [ $SECONDS -lt $until ]; do
    sleep 0.1
  done
  logq count "$2"
}
# Waits up to 10 s for FILE to hold the bytes of FILE2; prints its hex.
same_bytes() {  # same_bytes FILE EXPECTED_FILE
  local want
  want=$(bytes "$2")
  for _ in $(seq 100); do
    [ "$(bytes "$1" 2>/dev/null)" = "$want" ] && break
    sleep 0.1
  done
  bytes "$1" 2>/dev/null
}
field() {  # field NAME: now_playing.json's
  php -r '$s = json_decode((string)@file_get_contents($argv[1]), true);
    echo is_array($s) ? ($s[$argv[2]] ?? "(none)") : "(no song)";' "$files/now_playing.json" "$1"
}
# MusicBrainz's searches for covers; those for lengths (covers and
# ListenBrainz want them) go to /ws/2/recording.
groups='r["service"] == "musicbrainz" and "/release-group" in r["path"]'
ok_song() {  # FILTER of a target's answered request for the song text $2
  printf 'r["service"] == "%s" and 200 <= (r["status"] or 0) < 300 and (%s)' "$1" "$2"
}

# A 1x1 GIF as the placeholder; the covers as the stand-in serves them.
placeholder=$work/placeholder.gif
printf 'GIF89a\1\0\1\0\200\0\0\377\377\377\0\0\0!\371\4\1\0\0\0\0,\0\0\0\0\1\0\1\0\0\2\2D\1\0;' >"$placeholder"
for id in 1 2 3 7; do
  curl -sf -L -o "$work/cover$id" \
    "http://127.0.0.1:$coverart/release-group/b8aef8a5-000$id-4a9b-9b3a-00000000000$id/front-500"
done
port=$(free_port) refused=$(free_port)
contact=https://example.org/trackwire-relay-test
printf '%s\r\n' '[covers]' 'enabled = yes' \
  "placeholder = $(windows_path "$placeholder")" \
  "musicbrainz = http://127.0.0.1:$musicbrainz" "coverart = http://127.0.0.1:$coverart" \
  "contact = $contact" \
  '[icecast]' "url = http://127.0.0.1:$icecast/admin/metadata?mount=/live" \
  "password = $ice_password" \
  '[shoutcast]' "url = http://127.0.0.1:$shoutcast1" 'version = 1' 'sid = 3' \
  "password = $sc_password" 'template = {title} by {artist}' \
  '[listenbrainz]' "token = $token" "url = http://127.0.0.1:$listenbrainz" \
  '[webhook plain]' "url = http://127.0.0.1:$webhook/hook/plain" 'header = X-Test: one' \
  '[webhook put]' "url = http://127.0.0.1:$webhook/hook/put" 'method = PUT' \
  'header = Content-Type: application/vnd.test+json' \
  'body = {"text":{artist:json},"song":{title:json}}' \
  '[webhook tls]' "url = https://localhost:$tls/hook/tls" \
  '[webhook untrusted]' "url = https://localhost:$untrusted/hook/untrusted" \
  '[webhook refuses]' "url = http://127.0.0.1:$webhook/hook/refuses" \
  '[webhook hang]' "url = http://127.0.0.1:$hang/hook/hang" \
  '[webhook refused]' "url = http://127.0.0.1:$refused/hook/refused" >"$ini"
mode webhook 401 /hook/refuses
start_receiver "$work/receiver.log" --console

# c) The secrets sealed for this Windows user at the first read.
for _ in $(seq 50); do grep -q dpapi: "$ini" && break; sleep 0.1; done
check "secrets sealed: twelve dpapi: values" 12 "$(grep -c '= dpapi:[A-Za-z0-9+/=]\{20,\}' "$ini")"
check "secrets sealed: none left in clear" 0 \
  "$(grep -cE "$ice_password|$sc_password|$token|/hook/|X-Test|vnd\.test" "$ini")"
check "secrets sealed: the rest as it was" \
  "contact = $contact|version = 1|template = {title} by {artist}" \
  "$(grep -E '^(version|template|contact) ' "$ini" | tr -d '\r' | paste -sd'|')"

# a), b) Each song at every target in its form, the covers in turn.
song_everywhere() {  # song_everywhere NAME ARTIST TITLE
  local at service filter title="'''$3'''"
  for at in icecast shoutcast1 listenbrainz plain put tls; do
    case $at in
      icecast) filter="q['song'] == '''$2 - $3'''" ;;
      shoutcast1) filter="q['song'] == '''$3 by $2'''" ;;
      listenbrainz) filter="j['listen_type'] == 'playing_now' and
        j['payload'][0]['track_metadata']['track_name'] == $title" ;;
      plain) filter="r['path'] == '/hook/plain' and j['title'] == $title" ;;
      put) filter="r['path'] == '/hook/put' and j['song'] == $title" ;;
      tls) filter="j['title'] == $title" ;;
    esac
    service=$at
    case $at in plain | put) service=webhook ;; esac
    check "$1: $at" yes "$([ "$(await 1 "$(ok_song $service "$filter")" 15)" -ge 1 ] &&
      echo yes || echo no)"
  done
}
report 'Daft Punk' Discovery 'One More Time'
song_everywhere "song 1" 'Daft Punk' 'One More Time'
check "icecast: mount, mode, charset, Basic source:password" \
  "/live|updinfo|UTF-8|Basic $(printf 'source:%s' "$ice_password" | base64)" \
  "$(logq show "$(ok_song icecast True)" '(q["mount"], q["mode"], q["charset"], h["authorization"])' | head -n1)"
check "shoutcast v1: pass and mode" "$sc_password|updinfo" \
  "$(logq show "$(ok_song shoutcast1 True)" '(q["pass"], q["mode"])' | head -n1)"
check "listenbrainz: playing_now, token, JSON" \
  "playing_now|Daft Punk|One More Time|Discovery|trackwire_receiver|False|Token $token|application/json" \
  "$(logq show "$(ok_song listenbrainz True)" '(j["listen_type"], j["payload"][0]["track_metadata"]["artist_name"],
     j["payload"][0]["track_metadata"]["track_name"], j["payload"][0]["track_metadata"]["release_name"],
     j["payload"][0]["track_metadata"]["additional_info"]["submission_client"], "listened_at" in j["payload"][0],
     h["authorization"], h["content-type"])' | head -n1)"
check "webhook: POST, the default body, its header, JSON" \
  'POST|{"album": "Discovery", "artist": "Daft Punk", "title": "One More Time"}|one|application/json' \
  "$(logq show "$(ok_song webhook "r['path'] == '/hook/plain'")" \
    '(r["method"], json.dumps(j, sort_keys=True), h["x-test"], h["content-type"])' | head -n1)"
check "webhook: PUT, its body template, its own Content-Type only" \
  'PUT|{"song": "One More Time", "text": "Daft Punk"}|application/vnd.test+json' \
  "$(logq show "$(ok_song webhook "r['path'] == '/hook/put'")" \
    '(r["method"], json.dumps(j, sort_keys=True), h["content-type"])' | head -n1)"
check "webhook over HTTPS, the test CA trusted" "POST|/hook/tls|Daft Punk" \
  "$(logq show "$(ok_song tls True)" '(r["method"], r["path"], j["artist"])' | head -n1)"
check "cover 1: cover.jpg holds the JPEG found" "$(bytes "$work/cover1")" \
  "$(same_bytes "$files/cover.jpg" "$work/cover1")"
check "musicbrainz: the query, fmt, limit and User-Agent" \
  "artist:\"Daft Punk\" AND releasegroup:\"Discovery\"|json|3|trackwire_receiver/1.0 ( $contact )" \
  "$(logq show "$groups" '(q["query"], q["fmt"], q["limit"], h["user-agent"])' | head -n1)"
served() {  # served: /cover.jpg's Content-Type and bytes
  curl -s -D "$work/cover-head" -o "$work/cover-body" "http://127.0.0.1:$port/cover.jpg"
  printf '%s|%s' "$(sed -n 's/^[Cc]ontent-[Tt]ype: *\([^;\r]*\).*/\1/p' "$work/cover-head")" \
    "$(bytes "$work/cover-body")"
}
check "cover 1: GET /cover.jpg" "image/jpeg|$(bytes "$work/cover1")" "$(served)"
check "cover 1: now_playing.json" cover.jpg "$(field cover)"

report 'Björk' Homogenic 'Jóga'
song_everywhere "song 2" 'Björk' 'Jóga'
check "cover 2 (a PNG): cover.jpg" "$(bytes "$work/cover2")" "$(same_bytes "$files/cover.jpg" "$work/cover2")"
check "cover 2: GET /cover.jpg says image/png" "image/png|$(bytes "$work/cover2")" "$(served)"

report 'The "Quoted" Band' 'Back\Slash' 'Escape'
song_everywhere "song 3" 'The "Quoted" Band' 'Escape'
check "cover 3: quotes and backslash escaped in the query" "$(bytes "$work/cover3")" \
  "$(same_bytes "$files/cover.jpg" "$work/cover3")"

report 'Sigur Rós' Takk 'Hoppípolla'
song_everywhere "song 4" 'Sigur Rós' 'Hoppípolla'
check "a miss (best score 70): the placeholder" "$(bytes "$placeholder")" \
  "$(same_bytes "$files/cover.jpg" "$placeholder")"
check "the placeholder: GET /cover.jpg says image/gif" "image/gif|$(bytes "$placeholder")" "$(served)"

lookups=$(logq count "$groups")
report 'daft punk' ' DISCOVERY ' 'Aerodynamic'
song_everywhere "song 5" 'daft punk' 'Aerodynamic'
check "the same artist and album again: its cover from the cache" "$(bytes "$work/cover1")" \
  "$(same_bytes "$files/cover.jpg" "$work/cover1")"
check "the same artist and album again: no lookup" "$lookups" "$(logq count "$groups")"
check "the cache: three covers and a miss" "3 1" \
  "$(ls "$files/covers/" 2>/dev/null | grep -cE '^[0-9a-f]{16}\.jpg$') $(ls "$files/covers/" 2>/dev/null | grep -cE '^[0-9a-f]{16}\.none$')"
check "musicbrainz: never two requests within a second" "4 none" \
  "$(logq count "$groups") $(logq show 'r["service"] == "musicbrainz"' 'r["t"]' | awk '
     NR > 1 && $1 - last < 1 { close_pair = 1 } { last = $1 } END { print close_pair ? "some" : "none" }')"

# cover.jpg held open by another program: the current cover follows once it
# is let go, and the failure is told once.
(cd "$bin" && exec "$wine" hold_file.exe "$(windows_path "$files/cover.jpg")" 3000) \
  >"$work/hold.log" 2>&1 &
hold_pid=$!
for _ in $(seq 100); do grep -q '^held' "$work/hold.log" && break; sleep 0.1; done
check "cover.jpg held: holder started" 1 "$(grep -c '^held' "$work/hold.log")"
report 'Daft Punk' Discovery 'Digital Love'
sleep 0.5
report 'Björk' Homogenic 'Alarm Call'
wait "$hold_pid"
check "cover.jpg held: the current cover once let go" "$(bytes "$work/cover2")" \
  "$(same_bytes "$files/cover.jpg" "$work/cover2")"
check "cover.jpg held: told once" 1 "$(grep -c 'cannot replace .*cover\.jpg' "$work/receiver.log")"

# A cover that comes after its song has gone (skipped, and several lookups
# after it) is kept in the cache, and is not the next song's.
rm -f "$files"/covers/*.jpg
mode coverart slow '' 3
lookups=$(logq count "$groups")
report 'Björk' Homogenic 'Hyperballad'
await $((lookups + 1)) "$groups" 5 >/dev/null
sleep 0.5  # the cover's request is out, its answer 6 s away (two slow hops)
for album in One Two Three Four Five Six; do report Skipped "Album $album" "Song $album"; done
report 'Nobody' '' 'Untitled'
await 1 'r["service"] == "coverart" and r["path"].startswith("/images/b8aef8a5-0002")' 30 >/dev/null
check "a cover that came late: kept in the cache" 1 \
  "$(for _ in $(seq 150); do ls "$files/covers/" | grep -q '\.jpg$' && break; sleep 0.1; done
     ls "$files/covers/" | grep -c '\.jpg$')"
check "a cover that came late: not on the next song" "$(bytes "$placeholder")" \
  "$(same_bytes "$files/cover.jpg" "$placeholder")"
check "a cover that came late: /cover.jpg is the next song's" "image/gif|$(bytes "$placeholder")" "$(served)"
mode coverart ok

# A 401 from the Cover Art Archive is a miss for that album, not the end of
# covers; a cover over 8 MB and a MusicBrainz answer that is no search result
# are misses too, told once as what they were, and not asked again.
mode coverart 401 /release-group/b8aef8a5-0006-4a9b-9b3a-000000000006/front-500
report 'Air' 'Moon Safari' 'Sexy Boy'
await 1 'r["service"] == "coverart" and r["status"] == 401' 10 >/dev/null
check "a 401 for a cover: the placeholder, as for any miss" "$(bytes "$placeholder")" \
  "$(same_bytes "$files/cover.jpg" "$placeholder")"
report 'Massive Attack' Mezzanine 'Teardrop'
check "a 401 for a cover: the next album has its cover" "$(bytes "$work/cover7")" \
  "$(same_bytes "$files/cover.jpg" "$work/cover7")"
mode coverart huge /images/b8aef8a5-0008-4a9b-9b3a-000000000008.jpg
huge='r["service"] == "coverart" and r["path"] == "/images/b8aef8a5-0008-4a9b-9b3a-000000000008.jpg"'
report Portishead Dummy Roads
await 1 "$huge" 15 >/dev/null
check "a cover over 8 MB: the placeholder" "$(bytes "$placeholder")" \
  "$(same_bytes "$files/cover.jpg" "$placeholder")"
mode musicbrainz junk
junk="$groups and 'Junk Album' in q['query']"
report Junk 'Junk Album' Noise
await 1 "$junk" 10 >/dev/null
check "no search result: the placeholder" "$(bytes "$placeholder")" \
  "$(same_bytes "$files/cover.jpg" "$placeholder")"
mode musicbrainz ok
sleep 2.5
check "a cover over 8 MB, no search result: not asked again" "1 1" \
  "$(logq count "$huge") $(logq count "$junk")"
check "a cover over 8 MB, no search result: told once each, as such" "1 1" \
  "$(grep -c "Cover Art Archive's cover is larger than 8 MB" "$work/receiver.log") $(
     grep -c "MusicBrainz's answer was not a search result" "$work/receiver.log")"
check "covers never said to refuse credentials" 0 \
  "$(grep -E 'MusicBrainz|Cover Art' "$work/receiver.log" | grep -c credentials)"

# d) The failing targets: told once each; the others got every song above.
# Wine's WinHTTP reports a certificate it does not trust as
# ERROR_WINHTTP_SECURE_CHANNEL_ERROR, without the flags Windows gives: the
# message names the certificate as a likely cause all the same.
check "an untrusted certificate: one message naming the target" 1 \
  "$(grep -i 'certificate' "$work/receiver.log" | grep -c untrusted)"
check "an untrusted certificate: no request got through" 0 \
  "$(logq count 'r["service"] == "untrusted" and r["method"]')"
check "refused credentials: said once" 1 \
  "$(grep -i 'credentials' "$work/receiver.log" | grep -i refused | grep -c refuses)"
check "refused credentials: not asked again" 1 \
  "$(logq count 'r["path"] == "/hook/refuses"')"
check "the hanging target was tried" yes \
  "$([ "$(logq count 'r["service"] == "hang"')" -ge 1 ] && echo yes || echo no)"

# g) A request with credentials follows no redirect: a 307 to another host
# (127.0.0.2) is told, naming where it pointed, and nothing reaches that
# host; the target waits for the settings to be saved.
for at in icecast shoutcast1 listenbrainz; do mode $at redirect; done
mode webhook redirect /hook/plain
report Air 'Moon Safari' 'Kelly Watch the Stars'
for at in icecast shoutcast1 listenbrainz webhook; do
  await 1 "r['service'] == '$at' and r['status'] == 307" 15 >/dev/null
done
sleep 1
check "redirects: nothing reached 127.0.0.2" 0 "$(logq count 'r["service"] == "elsewhere"')"
check "redirects: each told, naming where it pointed" 4 \
  "$(grep -c "a redirect to http://127.0.0.2:$elsewhere," "$work/receiver.log")"
check "redirects: no secret in what was told" 0 \
  "$(grep -cE "$ice_password|$sc_password|$token" "$work/receiver.log")"
for at in icecast shoutcast1 listenbrainz; do mode $at ok; done
mode webhook ok /hook/plain
mode webhook ok /hook/refuses
# settle N: waits until the settings file has been applied N times in all.
settle() {
  for _ in $(seq 100); do
    [ "$(grep -c 'trackwire_receiver.ini applied' "$work/receiver.log")" -ge "$1" ] && break
    sleep 0.1
  done
}
applied() { grep -c 'trackwire_receiver.ini applied' "$work/receiver.log"; }
# A save, even of the same settings, tries the refused and redirected
# targets again: the user may have mended them on the service's side.
sealed=$work/sealed.ini
cp "$ini" "$sealed"
n=$(applied)
cp "$sealed" "$ini"
settle $((n + 1))
kelly="'Kelly Watch the Stars'"
check "a save of the same settings tries them again" "1 1 1 1 1" "$({
  await 1 "$(ok_song icecast "q['song'] == 'Air - '+$kelly")"
  await 1 "$(ok_song shoutcast1 "q['song'] == $kelly+' by Air'")"
  await 1 "$(ok_song listenbrainz "j['payload'][0]['track_metadata']['track_name'] == $kelly")"
  await 1 "$(ok_song webhook "r['path'] == '/hook/plain' and j['title'] == $kelly")"
  await 1 "$(ok_song webhook "r['path'] == '/hook/refuses' and j['title'] == $kelly")"
} | paste -sd' ')"

# h) A save that changes some targets: those get the current song without a
# new report, the others send nothing again; webhooks go by name, so one
# added above another leaves that one alone, even with its request open. A
# save caught half-way (here without [listenbrainz]) and then complete sends
# nothing again to a target whose settings came back as they were.
sent() {  # sent: how many songs each unchanged target has taken
  local at
  for at in "webhook' and r['path'] == '/hook/plain" tls shoutcast1 listenbrainz; do
    logq count "r['service'] == '$at' and 200 <= (r['status'] or 0) < 300"
  done | paste -sd' '
}
mode webhook slow /hook/put 4
report Air 'Moon Safari' Talisman
for filter in "$(ok_song icecast "q['song'] == 'Air - Talisman'")" \
  "$(ok_song webhook "r['path'] == '/hook/plain' and j['title'] == 'Talisman'")" \
  "$(ok_song tls "j['title'] == 'Talisman'")" "$(ok_song shoutcast1 "q['song'] == 'Talisman by Air'")" \
  "$(ok_song listenbrainz "j['payload'][0]['track_metadata']['track_name'] == 'Talisman'")"; do
  await 1 "$filter" >/dev/null
done
before=$(sent)
n=$(applied)
"$python" - "$ini" "$webhook" <<'PY'
import sys
path, port = sys.argv[1:]
lines, out, skip = open(path, newline="").read().split("\r\n"), [], False
for line in lines:
    if line.startswith("["):
        skip = line == "[listenbrainz]"
        if line == "[webhook plain]":
            out += ["[webhook added]", f"url = http://127.0.0.1:{port}/hook/added"]
    if not skip:
        out.append(line)
    if line == "[icecast]":
        out.append("template = {title}")
open(path, "w", newline="").write("\r\n".join(out))
PY
check "a changed target gets the current song at once" "1 1" "$({
  await 1 "$(ok_song icecast "q['song'] == 'Talisman'")"
  await 1 "$(ok_song webhook "r['path'] == '/hook/added' and j['title'] == 'Talisman'")"
} | paste -sd' ')"
settle $((n + 2))  # the new webhook's address sealed, and that read again
cp "$sealed" "$ini"
check "the settings back as they were: icecast as it was" 2 \
  "$(await 2 "$(ok_song icecast "q['song'] == 'Air - Talisman'")")"
sleep 1
check "the unchanged targets, and the one back as it was: nothing again" "$before" "$(sent)"
mode webhook ok /hook/put
check "a webhook open while one was added above it: the song once" 1 \
  "$(sleep 4; logq count "$(ok_song webhook "r['path'] == '/hook/put' and j['song'] == 'Talisman'")")"

# i) After idle the same song again within 10 s is no new entry, yet the
# services get it again: they had nothing playing.
n=$(applied)
{ cat "$sealed"; printf '%s\r\n' '[idle]' 'minutes = 0.02'; } >"$ini"
settle $((n + 1))
report Air 'Moon Safari' 'All I Need'
await 1 "$(ok_song icecast "q['song'] == 'Air - All I Need'")" >/dev/null
for _ in $(seq 50); do [ "$(field idle)" = 1 ] && break; sleep 0.1; done
check "after idle: idle" 1 "$(field idle)"
report Air 'Moon Safari' 'All I Need'
check "after idle, the same song again: to the services again" 2 \
  "$(await 2 "$(ok_song icecast "q['song'] == 'Air - All I Need'")")"
n=$(applied)
cp "$sealed" "$ini"
settle $((n + 1))

# e) SHOUTcast down for 100 songs, then back: only the last one arrives.
mode shoutcast1 down
"$python" - "$port" <<'EOF'
import http.client, sys, urllib.parse
for i in range(1, 101):  # each answered before the next goes
    query = urllib.parse.urlencode({"artist": "Büro", "album": "", "title": f"Song {i}"},
                                   quote_via=urllib.parse.quote)
    connection = http.client.HTTPConnection("127.0.0.1", int(sys.argv[1]), timeout=10)
    connection.request("GET", "/set_current_song.php?" + query,
                       headers={"Connection": "close"})
    connection.getresponse().read()
    connection.close()
EOF
await 1 'r["service"] == "shoutcast1" and r["mode"] == "down"' 20 >/dev/null
back=$("$python" -c 'import time; print(time.time())')
mode shoutcast1 ok
await 1 "$(ok_song shoutcast1 "r['t'] > $back")" 45 >/dev/null
sleep 2
check "down for 100 songs, then back: the last song only" "Song 100 by Büro" \
  "$(logq show "$(ok_song shoutcast1 "r['t'] > $back")" 'q["song"]')"
check "meanwhile icecast got the last song too" 1 \
  "$(await 1 "$(ok_song icecast "q['song'] == 'Büro - Song 100'")" 10)"
check "songs without an album: no MusicBrainz request" 0 \
  "$(logq count 'r["service"] == "musicbrainz" and q["query"].endswith("releasegroup:\"\"")')"

# f) Listens kept in the song folder from before, more than 4 MB of them
# and two lines that are no listens: after a restart, through a 429, each
# sent once, in "import" batches within ListenBrainz's limits; the two lines
# kept aside; then the file is gone.
stop_receiver
# The format of services/listens.h's ListenLine: 1200 short ones, then 1400
# long ones.
"$python" - "$files/listens.jsonl" <<'EOF'
import json, sys
with open(sys.argv[1], "w", encoding="utf-8", newline="\n") as journal:
    for i in range(2600):
        title = f"Old {i}" + (" Ünïcödé" * 250 if i >= 1200 else "")
        journal.write(json.dumps({
            "artist": "Old Artist", "album": "Old Album" if i % 2 else "",
            "title": title, "received": "2024-05-01T10:00:00Z",
            "listened_at": 1714557600 + 240 * i}, ensure_ascii=False) + "\n")
        if i == 1500:
            journal.write('{"artist":"Zero","album":"","title":"Z","listened_at":0}\n'
                          '{"artist":"Cut","alb\n')
EOF
journal_bytes=$(stat -c %s "$files/listens.jsonl")
sed -i -e "s|^url = http://127.0.0.1:$shoutcast1|url = http://127.0.0.1:$shoutcast2|" \
  -e 's/^version = 1/version = 2/' "$ini"
mode listenbrainz 429 '' 2
start_receiver "$work/receiver2.log" --console
await 1 'r["service"] == "listenbrainz" and r["status"] == 429' 10 >/dev/null
mode listenbrainz ok
# The listens answered 200: how many, how many different, the most a
# request, whether each body was within 1 MB, and their listen_types.
listens() {
  "$python" - "$log" <<'EOF'
import json, sys
sent, most, within, kinds = [], 0, True, set()
for line in open(sys.argv[1], encoding="utf-8"):
    r = json.loads(line)
    if r["service"] != "listenbrainz" or r["status"] != 200:
        continue
    j = json.loads(r["body"])
    if j["listen_type"] != "playing_now":
        kinds.add(j["listen_type"])
        sent += [(item["listened_at"], item["track_metadata"]["track_name"])
                 for item in j["payload"]]
        most = max(most, len(j["payload"]))
        within = within and len(r["body"].encode()) <= 1024 * 1024
print(len(sent), len(set(sent)), most, within, "|".join(sorted(kinds)))
EOF
}
for _ in $(seq 300); do [ "$(listens | cut -d' ' -f1)" -ge 2600 ] && break; sleep 0.1; done
check "listens after a restart ($journal_bytes bytes): each once, in import batches of 1000 and 1 MB at most" \
  "2600 2600 1000 True import" "$(sleep 1; listens)"
check "listens: the two lines that are no listens kept aside, and said" \
  "$(printf '%s\n' '{"artist":"Zero","album":"","title":"Z","listened_at":0}' '{"artist":"Cut","alb')|1" \
  "$(cat "$files"/listens.jsonl.*.bad)|$(grep -c '2 lines of .*listens.jsonl are no listens: kept in .*listens.jsonl\..*\.bad' "$work/receiver2.log")"
check "listens: the file removed" gone \
  "$(for _ in $(seq 50); do [ -e "$files/listens.jsonl" ] || break; sleep 0.1; done
     [ -e "$files/listens.jsonl" ] && echo there || echo gone)"

# After the restart: the sealed secrets still open; SHOUTcast v2; the cover
# of an album seen before from the cache.
lookups=$(logq count "$groups")
report 'Björk' Homogenic 'Bachelorette'
check "shoutcast v2: sid, mode, Basic admin:password, the song" \
  "3|updinfo|Basic $(printf 'admin:%s' "$sc_password" | base64)|Bachelorette by Björk" \
  "$(await 1 "$(ok_song shoutcast2 True)" 15 >/dev/null
     logq show "$(ok_song shoutcast2 True)" '(q["sid"], q["mode"], h["authorization"], q["song"])' | head -n1)"
check "after a restart: icecast with its sealed password" 1 \
  "$(await 1 "$(ok_song icecast "q['song'] == 'Björk - Bachelorette'")" 10)"
check "after a restart: the cached cover, no lookup" "$(bytes "$work/cover2")|$lookups" \
  "$(same_bytes "$files/cover.jpg" "$work/cover2")|$(logq count "$groups")"

# Waits up to 10 s for a connection to the stand-in on loopback PORT: a
# request on its way.
connected() {  # connected PORT
  "$python" - "$1" <<'EOF'
import sys, time
port = ":%04X" % int(sys.argv[1])
for _ in range(200):
    with open("/proc/net/tcp") as table:
        rows = [line.split() for line in table][1:]
    if any(row[1].endswith(port) and row[3] == "01" for row in rows):
        sys.exit(0)
    time.sleep(0.05)
sys.exit(1)
EOF
}
keep_listen() {  # keep_listen TITLE LISTENED_AT: the journal's only line
  printf '{"artist":"Kept","album":"","title":"%s","received":"","listened_at":%s}\n' \
    "$1" "$2" >"$files/listens.jsonl"
}
sent_listen() {  # sent_listen TITLE: how many requests carried it, and the file
  printf '%s %s' "$(logq count "r['service'] == 'listenbrainz' and '\"$1\"' in r['body']")" \
    "$([ -e "$files/listens.jsonl" ] && echo there || echo gone)"
}

# g) A listen in flight when the ListenBrainz settings change is sent once:
# its answer settles it, though its queue is gone.
stop_receiver
keep_listen Moving 1714600000
curl -sf "http://127.0.0.1:$control/mode?service=listenbrainz&mode=slow&seconds=3" >/dev/null
start_receiver "$work/receiver3.log" --console
connected "$listenbrainz" || echo "no listen on its way to the ListenBrainz stand-in"
sed -i "s|^url = http://127.0.0.1:$listenbrainz\(\r\?\)\$|url = http://127.0.0.1:$listenbrainz/\1|" "$ini"
await 1 "$(ok_song listenbrainz "'\"Moving\"' in r['body']")" 10 >/dev/null
sleep 2
check "a listen in flight as the settings change: sent once, then gone" "1 gone" \
  "$(sent_listen Moving)"

# h) A listen in flight when the receiver ends: an answer that comes soon
# settles it, so that the next start does not send it again.
stop_receiver
keep_listen Ending 1714600240
curl -sf "http://127.0.0.1:$control/mode?service=listenbrainz&mode=slow&seconds=0.3" >/dev/null
start_receiver "$work/receiver4.log" --console
connected "$listenbrainz" || echo "no listen on its way to the ListenBrainz stand-in"
stop_receiver
mode listenbrainz ok
check "a listen in flight at the end: answered, and not kept for the next start" \
  "1 gone" "$(sent_listen Ending)"

# i) A journal larger than the receiver writes is neither read nor written
# over: it is kept aside, and said.
stop_receiver
rm -f "$files"/listens.jsonl.*.bad
head -c $((8 * 1024 * 1024 + 1)) /dev/zero | tr '\0' x >"$files/listens.jsonl"
start_receiver "$work/receiver5.log" --console
check "a journal too large: kept aside whole, and said" "8388609 gone 1" \
  "$(for _ in $(seq 50); do [ -e "$files/listens.jsonl" ] || break; sleep 0.1; done
     cat "$files"/listens.jsonl.*.bad 2>/dev/null | wc -c) $(
     [ -e "$files/listens.jsonl" ] && echo there || echo gone) $(
     grep -c 'listens.jsonl is too large; it is kept as .*listens.jsonl\..*\.bad' "$work/receiver5.log")"
stop_receiver
checks_summary
