#!/bin/bash
# The shipped trackwire_receiver.exe under wine64 as browsers meet it, in
# headless Chromium: the overlay it serves with hide=1 fades each new song
# out; a page elsewhere (evil.test) stores no song through any address the
# receiver answers on (127.0.0.1, localhost, and a name of this PC, which a
# browser treats like a LAN address: no fetch metadata there) with an <img>,
# a no-cors fetch or a form, with a Referer or without one.
#
#   receiver_browser_test.sh BIN_DIR WINEPREFIX WORK_DIR
set -u
source "$(dirname "$0")/receiver_support.sh" receiver_browser_test.sh "$@"
command -v chromium >/dev/null ||
  { echo "receiver_browser_test: no chromium; tools/install-deps.sh installs it"; exit 1; }
rm -rf "$work"
mkdir -p "$work/files"
source "$here/browser_support.sh"

xvfb_pid="" proxy_pid="" page_pid=""
finish() {
  stop_browser
  for pid in $proxy_pid $page_pid; do kill -- -"$pid" 2>/dev/null; done
  /usr/lib/wine/wineserver -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap finish EXIT
start_xvfb "$work/display"
"$repo/tools/cpu32.sh" --check "$bin/trackwire_receiver.exe" || exit 1

stored_title() {  # waits up to 5 s for the stored title to become TITLE
  local title
  for _ in $(seq 50); do
    title=$(php -r '$s = json_decode((string)@file_get_contents($argv[1]), true);
      echo is_array($s) ? $s["title"] : "(no song)";' "$work/files/now_playing.json")
    [ "$title" = "$1" ] && break
    sleep 0.1
  done
  echo "$title"
}
serve() {  # serve PORT ROUTER [NAME=VALUE...]: PHP's server, in a group of its own
  env "${@:3}" PHP_CLI_SERVER_WORKERS=4 setsid php -S "127.0.0.1:$1" "$2" \
    >>"$work/php.log" 2>&1 &
  client ready "$1" >/dev/null || { echo "PHP's server did not start"; exit 1; }
}

port=$(free_port)
(cd "$work" && exec "$wine" "$bin/trackwire_receiver.exe" --console --port "$port" \
  --allow-host studio-pc --folder "$(windows_path "$work/files")") >"$work/receiver.log" 2>&1 &
client ready "$port" || { echo "the receiver did not start:"; cat "$work/receiver.log"; exit 1; }
client fire "$port" "artist=Artist%20A&album=Album%20A&title=Title%20A"
check "a report before the browser" "Title A" "$(stored_title "Title A")"

# The receiver's own page; the proxy only adds the observer to it.
proxy=$(free_port)
serve "$proxy" "$here/overlay_server.php" "OVERLAY_RECEIVER=127.0.0.1:$port"
proxy_pid=$!
a="Title A|Artist A|Album A|-" b="Title B|Artist B||-"
browse "http://127.0.0.1:$proxy/?overlay=1&hide=1"
wait_until states "$a|faded"
check "the receiver's overlay with hide=1: shown, then faded" \
  "$(lines "$a|shown" "$a|faded")" "$(observed states)"
client fire "$port" "artist=Artist%20B&album=&title=Title%20B"
wait_until states "$b|faded"
check "the next song fades in and out" \
  "$(lines "$a|shown" "$a|faded" "$b|shown" "$b|faded")" "$(observed states)"
stop_browser

page=$(free_port)
serve "$page" "$here/attack_page.php"
page_pid=$!
targets="http://studio-pc:$port,http://127.0.0.1:$port,http://localhost:$port"
for referrer in yes no; do
  rm -rf "$work/profile"
  timeout 60 chromium --headless --no-sandbox --disable-gpu --no-first-run \
    --disable-background-networking --user-data-dir="$work/profile" \
    --host-resolver-rules="MAP evil.test 127.0.0.1, MAP studio-pc 127.0.0.1" \
    --virtual-time-budget=5000 --dump-dom \
    "http://evil.test:$page/?targets=$targets&referrer=$referrer" \
    >"$work/attack-$referrer.html" 2>>"$work/browser.log"
  for target in ${targets//,/ }; do
    check "a page's fetch reached $target (referrer: $referrer)" 1 \
      "$(grep -c "$target reached" "$work/attack-$referrer.html")"
  done
  check "no page stored a song (referrer: $referrer)" "Title B" "$(stored_title "Title B")"
done
check "no page's song in the receiver's log" 0 "$(grep -c Evil "$work/receiver.log")"
client fire "$port" "artist=After&album=&title=Still%20here"
check "the player's report still stored" "Still here" "$(stored_title "Still here")"
checks_summary
