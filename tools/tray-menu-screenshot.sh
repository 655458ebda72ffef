#!/bin/bash
# Saves a picture of the receiver's notification-area menu, opened as a
# right click on its icon opens it, under wine64 in an Xvfb display of its
# own.
# Usage: tools/tray-menu-screenshot.sh BUILD_DIR [OUTPUT.png]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: tray-menu-screenshot.sh BUILD_DIR [OUTPUT.png]}" && pwd)
output=$(realpath -m "${2:-$here/docs/receiver-menu.png}")
source "$here/tests/support/script_support.sh"
work=$build/tray-menu-screenshot
rm -rf "$work"
mkdir -p "$work/songs"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$here/cmake/wine-prefix.sh" "$WINEPREFIX" >/dev/null
wine=/usr/lib/wine/wine64

xvfb_pid=""
finish() {
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  true
}
trap finish EXIT
start_xvfb "$work/display"

port=$(free_port)
(cd "$build/bin" && exec "$wine" trackwire_receiver.exe --port "$port" \
  --folder "$(windows_path "$work/songs")") >"$work/receiver.log" 2>&1 &
php "$here/receiver/tests/client.php" ready "$port" ||
  { echo "tray-menu-screenshot: the receiver did not start" >&2; exit 1; }
(cd "$build/bin" && "$wine" tray_driver.exe menu "$port")
sleep 2
# The menu opens above and right of the mouse pointer; Wine's own tray
# window, top left, stays out of the picture.
eval "$(xdotool getmouselocation --shell)"
import -window root "$work/screen.png"
convert "$work/screen.png" -crop "+$((X - 1))+0" +repage -crop "x$((Y + 2))+0+0" \
  +repage -trim +repage -bordercolor '#808080' -border 1 "$output"
echo "saved $output ($(identify -format '%wx%h' "$output"))"
