#!/bin/bash
# The shipped trackwire_receiver.exe's control page under wine64, as an icon
# with --listen 0.0.0.0: the menu's first item and a second start open it at
# the same address, with the key; then in headless Chromium
# (control_checks.py) the page as the icon opened it, and pages of another
# origin and a peer that is not on this PC, which can neither read nor change
# anything.
#
#   receiver_control_test.sh BIN_DIR WINEPREFIX WORK_DIR
set -u
source "$(dirname "$0")/receiver_support.sh" receiver_control_test.sh "$@"
command -v chromium >/dev/null ||
  { echo "receiver_control_test: no chromium; tools/install-deps.sh installs it"; exit 1; }
rm -rf "$work"
files=$work/files
mkdir -p "$files"
# Wine's browser in the test prefix writes down what the receiver opens.
export TRACKWIRE_OPENED_PAGES=$work/opened.txt

xvfb_pid="" tray_pid=""
finish() {
  if [ -n "$tray_pid" ]; then
    "$wine" "$bin/tray_driver.exe" command "$port" 5
    for _ in $(seq 100); do kill -0 "$tray_pid" 2>/dev/null || break; sleep 0.1; done
  fi
  /usr/lib/wine/wineserver -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap finish EXIT
start_xvfb "$work/display"
"$repo/tools/cpu32.sh" --check "$bin/trackwire_receiver.exe" || exit 1
opened() {  # opened N: the Nth address opened, once it is there (5 s)
  for _ in $(seq 50); do
    [ "$(cat "$TRACKWIRE_OPENED_PAGES" 2>/dev/null | wc -l)" -ge "$1" ] && break
    sleep 0.1
  done
  sed -n "${1}p" "$TRACKWIRE_OPENED_PAGES" 2>/dev/null
}

# For the page's problems: a mistake on line 2 of the settings, and a webhook
# where nothing listens.
printf '[history]\r\nlines = lots\r\n[webhook down]\r\nurl = http://127.0.0.1:%s/hook\r\n' \
  "$(free_port)" >"$files/trackwire_receiver.ini"
port=$(free_port)
(cd "$work" && exec "$wine" "$bin/trackwire_receiver.exe" --port "$port" --listen 0.0.0.0 \
  --allow-host studio-pc --folder "$(windows_path "$files")") >"$work/receiver.log" 2>&1 &
tray_pid=$!
client ready "$port" || { echo "the receiver did not start:"; cat "$work/receiver.log"; exit 1; }
client fire "$port" "artist=Artist&album=&title=Before%20the%20page"

"$wine" "$bin/tray_driver.exe" command "$port" 9
address=$(opened 1)
check "the menu's first item opens the control page with its key" 1 \
  "$(grep -cE "^http://127\.0\.0\.1:$port/control#key=[0-9a-f]{32}$" <<<"$address")"
(cd "$work" && timeout 60 "$wine" "$bin/trackwire_receiver.exe" --port "$port" \
  --folder "$(windows_path "$files")") >"$work/second.log" 2>&1
check "a second start: exit code" 0 $?
check "a second start opens the same page" "$address" "$(opened 2)"

python3 "$here/control_checks.py" "$port" "$files" "$(windows_path "$files")" "$work" "$address"
check "the control page in Chromium" 0 $?
checks_summary
