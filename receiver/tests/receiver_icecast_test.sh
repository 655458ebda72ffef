#!/bin/bash
# The shipped trackwire_receiver.exe under wine64 against Debian's real
# Icecast 2.4 (icecast2, tools/install-deps.sh) on a loopback port, with a
# config of its own and a source streaming to /live: a song reported as the
# plug-in sends it becomes the mount's title in /status-json.xsl, through a
# source password holding & and ", which the settings file keeps sealed.
#
#   receiver_icecast_test.sh BIN_DIR WINEPREFIX WORK_DIR
set -u
source "$(dirname "$0")/receiver_support.sh" receiver_icecast_test.sh "$@"
python=/usr/bin/python3
rm -rf "$work"
mkdir -p "$work/files"
files=$work/files
ini=$files/trackwire_receiver.ini

xvfb_pid="" icecast_pid="" source_pid=""
finish() {
  /usr/lib/wine/wineserver -k 2>/dev/null
  local pid
  for pid in "$source_pid" "$icecast_pid" "$xvfb_pid"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
}
trap finish EXIT
command -v icecast2 >/dev/null ||
  { echo "icecast2 is not installed (tools/install-deps.sh installs it)"; exit 1; }
start_xvfb "$work/display"
"$repo/tools/cpu32.sh" --check "$bin/trackwire_receiver.exe" || exit 1

password='ice&pass"7'
xml_password='ice&amp;pass&quot;7'
status() { curl -sf "http://127.0.0.1:$icecast/status-json.xsl"; }
# The mount's field NAME, empty while there is no source.
mount_field() {
  status | "$python" -c 'import json, sys
try:
    source = json.load(sys.stdin)["icestats"].get("source") or {}
except ValueError:  # nothing yet, or a page cut short
    source = {}
print(source.get(sys.argv[1], "") if isinstance(source, dict) else "")' "$1"
}

# Icecast refuses to run as root unless it is told whom to become.
security=""
[ "$(id -u)" = 0 ] &&
  security='<security><changeowner><user>nobody</user><group>nogroup</group></changeowner></security>'
for attempt in 1 2 3; do
  icecast=$(free_port)
  cat >"$work/icecast.xml" <<XML
<icecast>
  <hostname>127.0.0.1</hostname>
  <location>test</location>
  <admin>test@localhost</admin>
  <limits><sources>1</sources><source-timeout>60</source-timeout></limits>
  <authentication>
    <source-password>$xml_password</source-password>
    <admin-user>admin</admin-user>
    <admin-password>admin-$xml_password</admin-password>
  </authentication>
  <listen-socket><port>$icecast</port><bind-address>127.0.0.1</bind-address></listen-socket>
  <paths>
    <basedir>/usr/share/icecast2</basedir>
    <logdir>$work</logdir>
    <webroot>/usr/share/icecast2/web</webroot>
    <adminroot>/usr/share/icecast2/admin</adminroot>
  </paths>
  <logging><errorlog>-</errorlog><accesslog>-</accesslog><loglevel>3</loglevel></logging>
  $security
</icecast>
XML
  icecast2 -c "$work/icecast.xml" >"$work/icecast.log" 2>&1 &
  icecast_pid=$!
  for _ in $(seq 50); do
    status >/dev/null && break
    kill -0 "$icecast_pid" 2>/dev/null || break
    sleep 0.1
  done
  status >/dev/null && break
  kill "$icecast_pid" 2>/dev/null
  wait "$icecast_pid" 2>/dev/null
  icecast_pid=""
done
[ -n "$icecast_pid" ] || { echo "icecast2 did not start:"; cat "$work/icecast.log"; exit 1; }

# A source on /live: Icecast 2.4 takes a PUT and any bytes as audio/mpeg.
"$python" -c 'import base64, socket, sys, time
port, password = int(sys.argv[1]), sys.argv[2]
auth = base64.b64encode(("source:" + password).encode()).decode()
s = socket.create_connection(("127.0.0.1", port))
s.sendall(("PUT /live HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Basic " + auth +
           "\r\nContent-Type: audio/mpeg\r\nIce-Public: 0\r\n\r\n").encode())
for _ in range(6000):  # at most 5 minutes
    s.sendall(b"\xff\xfb\x90\x00" + bytes(413))
    time.sleep(0.05)' "$icecast" "$password" 2>"$work/source.err" &
source_pid=$!
for _ in $(seq 50); do
  [ -n "$(mount_field listenurl)" ] && break
  sleep 0.1
done
[ -n "$(mount_field listenurl)" ] ||
  { echo "the source did not reach /live:"; cat "$work/source.err" "$work/icecast.log"; exit 1; }

port=$(free_port)
printf '%s\r\n' '[icecast]' "url = http://127.0.0.1:$icecast/admin/metadata?mount=/live" \
  "password = $password" >"$ini"
start_receiver "$work/receiver.log" --console

for _ in $(seq 50); do grep -q dpapi: "$ini" && break; sleep 0.1; done
check "the password sealed, not in clear" "password = dpapi:|0" \
  "$(grep -o '^password = dpapi:' "$ini")|$(grep -cF "$password" "$ini")"

# As the plug-in of a player in UTF-8 sends it (start_receiver's --encoding).
client fire "$port" "$("$python" -c 'import urllib.parse as u
print(u.urlencode({"artist": "Les Étoiles", "album": "À la carte", "title": "Café"},
                  quote_via=u.quote))')"
# Icecast shows a new title once the source's next bytes have gone through.
for _ in $(seq 150); do
  [ "$(mount_field title)" = "Les Étoiles - Café" ] && break
  sleep 0.1
done
check "the song is the mount's title" "Les Étoiles - Café" "$(mount_field title)"

stop_receiver
checks_summary || {
  cat "$work/receiver.log"
  grep -v "GET /status-json.xsl" "$work/icecast.log"
  exit 1
}
