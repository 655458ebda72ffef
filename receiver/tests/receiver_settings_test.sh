#!/bin/bash
# The shipped trackwire_receiver.exe under wine64 with its settings file:
# written at the first start, an edit applied while it runs (files and
# /song), a bad line told once and nothing else changed, a save in two parts,
# one too large, UTF-8 with a BOM and UTF-16LE byte for byte, /song's length
# limit, idle and back, the playout log, a settings file in UTF-16 sealed,
# the history across a restart, at its largest and cut short, and files no
# longer listed emptied once.
#
#   receiver_settings_test.sh BIN_DIR WINEPREFIX WORK_DIR
set -u
source "$(dirname "$0")/receiver_support.sh" receiver_settings_test.sh "$@"
rm -rf "$work"
mkdir -p "$work/files"
files=$work/files
ini=$files/trackwire_receiver.ini

xvfb_pid=""
finish() {
  /usr/lib/wine/wineserver -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap finish EXIT
start_xvfb "$work/display"
"$repo/tools/cpu32.sh" --check "$bin/trackwire_receiver.exe" || exit 1

bytes() { od -An -tx1 "$@" | tr -d ' \n'; }
# The bytes a file should hold: printf's escapes, in hex.
expect_bytes() { printf "$1" | bytes; }
# Waits up to $2 seconds (default 5) for FILE to hold HEX; prints its hex.
file_bytes() {  # file_bytes FILE HEX [SECONDS]
  for _ in $(seq $((${3:-5} * 10))); do
    [ "$(bytes "$1" 2>/dev/null)" = "$2" ] && break
    sleep 0.1
  done
  bytes "$1" 2>/dev/null
}
# Waits up to 5 s for GET TARGET to answer TEXT; prints the answer.
answers() {  # answers TARGET TEXT
  local body
  for _ in $(seq 50); do
    body=$(client get "$port" "$1")
    [ "$body" = "$2" ] && break
    sleep 0.1
  done
  printf '%s' "$body"
}
# Saves the settings file as an editor does: in place.
save_ini() { printf '%s\r\n' "$@" >"$ini"; }

port=$(free_port)
start_receiver "$work/receiver.log" --console
check "the first start writes the settings file" 1 \
  "$(grep -c '^;minutes = 0 ' "$ini" 2>/dev/null)"
cafe='Caf%C3%A9' nihongo='%E6%97%A5%E6%9C%AC%E8%AA%9E'
client fire "$port" "artist=$nihongo&album=&title=$cafe"
check "the five files of old without [file] sections" \
  "$(expect_bytes '日本語 - Café')" "$(file_bytes "$files/now_playing.txt" "$(expect_bytes '日本語 - Café')")"

# An edit while it runs: applied within 2 s, to the files and to /song.
save_ini '[file np8.txt]' 'template = {artist| - }{title}' 'encoding = utf-8-bom' \
  '[file np16.txt]' 'template = {TITLE}' 'encoding = utf-16le     ; for old readers' \
  '[chat]' 'template = {artist} says {title}' '[history]' 'log = yes'
started=$(date +%s%N)
np8=$(expect_bytes '\xef\xbb\xbf日本語 - Café')
check "an edit applied: utf-8-bom" "$np8" "$(file_bytes "$files/np8.txt" "$np8" 2)"
check "an edit applied within 2 s" yes \
  "$([ $(( ($(date +%s%N) - started) / 1000000 )) -le 2000 ] && echo yes || echo no)"
check "an edit applied: /song" "日本語 says Café" "$(answers /song '日本語 says Café')"
# The files it no longer writes are emptied, once: no old song on stream.
check "files no longer written: emptied, with a notice" "0 1" \
  "$(file_bytes "$files/title.txt" "" | wc -c) $(grep -c 'now_playing.txt, artist.txt, album.txt, title.txt are no longer among the song files: emptied' "$work/receiver.log")"

# A report after it: each file's bytes exactly.
client fire "$port" "artist=$cafe&album=&title=$nihongo%20$cafe"
np16=$(expect_bytes '\xff\xfe\xe5\x65\x2c\x67\x9e\x8a\x20\x00\x43\x00\x41\x00\x46\x00\xc9\x00')
check "utf-16le, upper case" "$np16" "$(file_bytes "$files/np16.txt" "$np16")"
np8=$(expect_bytes '\xef\xbb\xbfCafé - 日本語 Café')
check "utf-8-bom" "$np8" "$(file_bytes "$files/np8.txt" "$np8")"

# A bad line: one notice naming it; the files and /song stay.
save_ini '[file np8.txt]' 'template = {artist| - }{title}' 'encoding = utf-8-bom' \
  '[file np16.txt]' 'template = {TITLE}' 'encoding = utf-16le     ; for old readers' \
  '[chat]' 'template = {artist} says {title}' 'template = {titel}' '[history]' 'log = yes'
for _ in $(seq 30); do grep -q 'line 9, ' "$work/receiver.log" && break; sleep 0.1; done
sleep 1.5
check "a bad line: one notice with its line number" 1 \
  "$(grep -c 'trackwire_receiver.ini: line 9, \[chat\]: template: unknown field {titel}' "$work/receiver.log")"
check "a bad line: /song as it was" "Café says 日本語 Café" "$(client get "$port" /song)"
check "a bad line: the file as it was" "$np8" "$(bytes "$files/np8.txt")"

# A save written in two parts 300 ms apart: only the whole text applies, and
# no notice names the line the first part cut. Three times, each starting
# 0.15 s later after the watch's last look (which applied the one before):
# between them the three cover more than its half second between looks, so
# that a watch taking a part for a save would see one.
applied=$(grep -c 'trackwire_receiver.ini applied' "$work/receiver.log")
for round in 1 2 3; do
  sleep "0.$(((round - 1) * 15))"
  printf '[file np8.txt]\r\ntemplate = {artist| - }{title}\r\nencoding = utf-8-bom\r\n[chat]\r\ntemplate = {art' >"$ini"
  sleep 0.3
  printf 'ist} in part %s {title}\r\n[history]\r\nlog = yes\r\n' "$round" >>"$ini"
  check "a save in two parts: the whole text ($round)" "Café in part $round 日本語 Café" \
    "$(answers /song "Café in part $round 日本語 Café")"
done
sleep 1.5
check "a save in two parts: each applied once, no bad line" "$((applied + 3)) 1" \
  "$(grep -c 'trackwire_receiver.ini applied' "$work/receiver.log") $(grep -c 'trackwire_receiver.ini: line' "$work/receiver.log")"

# A save too large for a settings file: told once, the settings in use stay.
{ printf '[chat]\r\ntemplate = {title} big\r\n'; head -c 300000 /dev/zero | tr '\0' ';'; } >"$ini"
for _ in $(seq 30); do grep -q 'is over 256 KB' "$work/receiver.log" && break; sleep 0.1; done
sleep 1.5
check "a save over 256 KB: told once" 1 "$(grep -c 'trackwire_receiver.ini is over 256 KB' "$work/receiver.log")"
check "a save over 256 KB: /song as it was" "Café in part 3 日本語 Café" "$(client get "$port" /song)"

# /song stays under 400 characters for a long title (a report keeps 500).
long=$(printf 'x%.0s' $(seq 2000))
client fire "$port" "artist=A&album=&title=$long"
chat=$(answers /song "never")
check "/song for a long title: at most 400 characters, cut with …" "400 …" \
  "$(printf '%s' "$chat" | php -r '$s = stream_get_contents(STDIN);
    preg_match("/.\\z/su", $s, $last); echo preg_match_all("/./su", $s), " ", $last[0];')"

# Idle after 3 s without a song, the overlay told; back with the next song.
save_ini '[file np8.txt]' 'encoding = utf-8-bom' '[idle]' 'minutes = 0.05' \
  'text = Off air' '[history]' 'log = yes'
sleep 1.5
client fire "$port" "artist=Idle&album=&title=Soon"
idle=$(expect_bytes '\xef\xbb\xbfOff air')
check "idle: the file's idle text" "$idle" "$(file_bytes "$files/np8.txt" "$idle" 8)"
check "idle: /song" "Nothing is playing right now" "$(client get "$port" /song)"
check "idle: /now_playing.json says so" 1 \
  "$(client get "$port" /now_playing.json | grep -c '"idle": true')"
client fire "$port" "artist=Back&album=&title=Again"
back=$(expect_bytes '\xef\xbb\xbfBack - Again')
check "the next song ends idle" "$back" "$(file_bytes "$files/np8.txt" "$back")"
check "idle is no song in the history" "Again|Soon" \
  "$(client get "$port" /history.json | php -r '$h = json_decode(stream_get_contents(STDIN), true);
    echo $h[0]["title"], "|", $h[1]["title"];')"
log=$(ls "$files/log/"*.csv 2>/dev/null | head -n1)
for _ in $(seq 50); do tail -n1 "$log" | grep -q Again && break; sleep 0.1; done
check "the playout log: BOM, header and the last row" \
  "efbbbf|date,time,artist,album,title|Back,,Again" \
  "$(head -c3 "$log" | bytes)|$(sed -n 1p "$log" | tr -d '\r\357\273\277')|$(tail -n1 "$log" | tr -d '\r' | cut -d, -f3-)"
check "the playout log: one header for the day's four songs" "1 5" \
  "$(grep -c 'date,time,artist,album,title' "$log") $(wc -l <"$log")"

# A new port applies at the next start, and says so; --port wins over it.
save_ini '[file np8.txt]' 'encoding = utf-8-bom' '[idle]' 'text = Off air' \
  '[receiver]' 'port = 1'
check "a new port: applies at the next start" 1 \
  "$(for _ in $(seq 30); do grep -q 'next start' "$work/receiver.log" && break; sleep 0.1; done
     grep -c 'trackwire_receiver.ini: the new port or address applies at the next start' "$work/receiver.log")"

# The history across a restart.
before=$(client get "$port" /history.json)
stop_receiver
start_receiver "$work/receiver2.log" --console
check "the history after a restart" "$before" "$(client get "$port" /history.json)"
check "history.txt: HH:MM and the line" "yes" \
  "$(head -n1 "$files/history.txt" | tr -d '\r' | grep -qE '^[0-9]{2}:[0-9]{2}  Back - Again$' && echo yes || echo no)"

# Notepad's "Unicode" (UTF-16 LE with its BOM): read, and once its secret is
# encrypted, written back as UTF-8 with a BOM that still reads.
{ printf '\xff\xfe'; printf '[file np8.txt]\r\ntemplate = {title} in UTF-16 ♪\r\n[icecast]\r\npassword = sécret\r\n' |
  iconv -f UTF-8 -t UTF-16LE; } >"$ini"
client fire "$port" "artist=A&album=&title=One"
one=$(expect_bytes 'One in UTF-16 ♪')
check "a UTF-16 settings file: read" "$one" "$(file_bytes "$files/np8.txt" "$one")"
for _ in $(seq 30); do grep -q 'dpapi:' "$ini" && break; sleep 0.1; done
check "a UTF-16 settings file: sealed as UTF-8 with a BOM" "efbbbf 1" \
  "$(head -c3 "$ini" | bytes) $(grep -c '^password = dpapi:' "$ini")"
sleep 1.5
client fire "$port" "artist=A&album=&title=Two"
two=$(expect_bytes 'Two in UTF-16 ♪')
check "a UTF-16 settings file: still read once sealed" "$two" "$(file_bytes "$files/np8.txt" "$two")"
check "a UTF-16 settings file: no bad line" 0 "$(grep -c 'trackwire_receiver.ini: line' "$work/receiver2.log")"

stop_receiver
save_ini '[file np8.txt]' 'encoding = utf-8-bom' '[idle]' 'text = Off air'

# history.json at its largest (500 songs, every character escaped at its
# widest) comes back whole; one cut short is kept aside, not written over.
php -r '$v = str_repeat("\u{2028}\"", 250); $h = [];
  for ($i = 0; $i < 500; $i++) $h[] = ["artist" => $v, "album" => $v,
    "title" => $i . substr($v, 0, -4), "time" => "2024-05-01T21:04:05+02:00"];
  echo json_encode($h);' >"$files/history.json"
start_receiver "$work/receiver-large.log" --console
check "a history of 500 long songs: read back" "50 0" \
  "$(client get "$port" /history.json | php -r '$h = json_decode(stream_get_contents(STDIN), true);
    echo count($h), " ", $h[0]["title"][0];')"
stop_receiver
head -c 1000 "$files/history.json" >"$work/cut.json"
cp "$work/cut.json" "$files/history.json"
start_receiver "$work/receiver-cut.log" --console
check "a history cut short: told, kept aside" "1 []" \
  "$(grep -c 'history.json does not read as a history (cut or damaged); the history starts empty, the file is kept as .*history.json.bad' "$work/receiver-cut.log") $(client get "$port" /history.json | tr -d '\n')"
client fire "$port" "artist=After&album=&title=Cut"
for _ in $(seq 50); do grep -q '"Cut"' "$files/history.json" 2>/dev/null && break; sleep 0.1; done
check "a history cut short: the .bad file as it was, a new history.json" "yes 1" \
  "$(cmp -s "$work/cut.json" "$files/history.json.bad" && echo yes || echo no) $(grep -c '"Cut"' "$files/history.json")"
stop_receiver

# As an icon: the menu's "Clear the song" (7) goes idle at once; "Exit" (5).
start_receiver "$work/receiver3.log"
client fire "$port" "artist=Icon&album=&title=Song"
song=$(expect_bytes '\xef\xbb\xbfIcon - Song')
check "as an icon: the song" "$song" "$(file_bytes "$files/np8.txt" "$song")"
"$wine" "$bin/tray_driver.exe" command "$port" 7
check "Clear the song: the idle text" "$idle" "$(file_bytes "$files/np8.txt" "$idle")"
check "Clear the song: /song" "Nothing is playing right now" "$(client get "$port" /song)"
"$wine" "$bin/tray_driver.exe" command "$port" 5
for _ in $(seq 100); do kill -0 "$receiver_pid" 2>/dev/null || break; sleep 0.1; done
check "Exit ends the icon" ended \
  "$(kill -0 "$receiver_pid" 2>/dev/null && echo running || echo ended)"
checks_summary
