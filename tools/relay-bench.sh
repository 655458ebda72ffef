#!/bin/bash
# What sending songs to other services costs the receiver: the time from a
# report to its overlay event (median and worst of 200) and the receiver's
# memory after 1,000 songs with covers, for three settings files against the
# loopback stand-ins (receiver/tests/stand_ins.py):
#   none  - no service configured;
#   all   - covers, lengths, lyrics, Icecast, SHOUTcast, ListenBrainz, a
#           connected Last.fm and a webhook that answer, and one webhook
#           that never answers;
#   hang  - every service at an address that never answers.
#   relay-bench.sh [BIN_DIR]   (default: the x64-stand-in tree's bin; build
#                               it with cmake --preset x64-stand-in and
#                               cmake --build build/x64-stand-in)
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/tests/support/script_support.sh"
bin=$(realpath -m "${1:-$here/build/x64-stand-in/bin}")
work=$here/build/relay-bench
export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$work/runs"
mkdir -p "$work/runs"
[ -d "$WINEPREFIX" ] || "$here/cmake/wine-prefix.sh" "$WINEPREFIX" >/dev/null
client() { php "$here/receiver/tests/client.php" "$@"; }

stand_ins_pid=""
finish() {
  /usr/lib/wine/wineserver -k 2>/dev/null
  [ -n "$stand_ins_pid" ] && kill "$stand_ins_pid" 2>/dev/null
}
trap finish EXIT
python3 "$here/receiver/tests/stand_ins.py" --ports-file "$work/runs/ports" \
  --log "$work/runs/services.jsonl" --icecast-password ip \
  --shoutcast-password sp --token tk 2>"$work/runs/stand_ins.err" &
stand_ins_pid=$!
for _ in $(seq 100); do [ -s "$work/runs/ports" ] && break; sleep 0.1; done
source "$work/runs/ports"

settings() {  # settings KIND: the settings file's text
  local answers=$1 h=http://127.0.0.1
  [ "$1" = none ] && return
  [ "$1" = hang ] && { musicbrainz=$hang coverart=$hang icecast=$hang shoutcast1=$hang \
                         listenbrainz=$hang webhook=$hang lrclib=$hang lastfm=$hang; }
  printf '%s\n' '[covers]' 'enabled = yes' "musicbrainz = $h:$musicbrainz" \
    "coverart = $h:$coverart" '[icecast]' \
    "url = $h:$icecast/admin/metadata?mount=/live" 'password = ip' \
    '[shoutcast]' "url = $h:$shoutcast1" 'password = sp' '[listenbrainz]' \
    'token = tk' "url = $h:$listenbrainz" '[webhook hook]' "url = $h:$webhook/hook" \
    '[lyrics]' 'enabled = yes' "url = $h:$lrclib" '[lastfm]' 'key = test-key' \
    'secret = test-secret' 'session = stand-in-session-0123456789abcdef' \
    "url = $h:$lastfm/2.0/"
  [ "$answers" = all ] && printf '%s\n' '[webhook never]' "url = $h:$hang/never"
}

echo "| services | report to event, median | worst | memory at start | after 1,000 songs |"
echo "|---|---|---|---|---|"
for kind in none all hang; do
  (source "$work/runs/ports"
   files=$work/runs/$kind
   mkdir -p "$files"
   settings "$kind" >"$files/trackwire_receiver.ini"
   port=$(free_port)
   (cd "$work/runs" && exec /usr/lib/wine/wine64 "$bin/trackwire_receiver.exe" --console \
      --port "$port" --folder "$(windows_path "$files")") >"$files.log" 2>&1 &
   client ready "$port" || { cat "$files.log"; exit 1; }
   pid=$(pgrep -f "trackwire_receiver.exe --console --port $port" | head -n1)
   start=$(ps -o rss= -p "$pid")
   latency=$(client events "$port" 200 Album | sed -n 's/.*median \([0-9.]*\) ms, max \([0-9.]*\) ms/\1 ms|\2 ms/p')
   # Albums the cover stand-in has (found, then from the cache) and some it
   # has not (a miss, cached for a day).
   for i in $(seq 1000); do
     case $((i % 4)) in
       0) query='artist=Daft%20Punk&album=Discovery' ;;
       1) query='artist=Bj%C3%B6rk&album=Homogenic' ;;
       2) query="artist=Bench&album=Unknown%20$((i % 50))" ;;
       3) query='artist=Nobody&album=Artless' ;;
     esac
     client fire "$port" "$query&title=Song%20$i"
   done
   sleep 5
   echo "| $kind | ${latency%%|*} | ${latency##*|} | $((start / 1024)) MB | $(($(ps -o rss= -p "$pid") / 1024)) MB |"
   kill -INT "$pid" 2>/dev/null
   sleep 1)
done
