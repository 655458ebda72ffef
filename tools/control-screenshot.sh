#!/bin/bash
# Saves a picture of the receiver's control page (docs/control-page.png): the
# receiver of BUILD_DIR under wine64 with a song or two and a settings file
# with a webhook that cannot be reached, its page opened with the key it
# prints, in headless Chromium.
# Usage: tools/control-screenshot.sh BUILD_DIR [OUTPUT.png]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: control-screenshot.sh BUILD_DIR [OUTPUT.png]}" && pwd)
output=$(realpath -m "${2:-$here/docs/control-page.png}")
source "$here/tests/support/script_support.sh"
work=$build/control-screenshot
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$here/cmake/wine-prefix.sh" "$WINEPREFIX" >/dev/null
# The song folder where setup puts it.
songs="$WINEPREFIX/drive_c/users/Public/Documents/WinAmp Tunebeacon"
mkdir -p "$songs"
wine=/usr/lib/wine/wine64

xvfb_pid=""
finish() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  true
}
trap finish EXIT
start_xvfb "$work/display"

printf '[webhook stream-chat]\r\nurl = http://127.0.0.1:9/hook\r\n' \
  >"$songs/trackwire_receiver.ini"
port=$(free_port)
(cd "$build/bin" && exec "$wine" trackwire_receiver.exe --console --port "$port" \
  --folder 'C:\users\Public\Documents\WinAmp Tunebeacon') >"$work/receiver.log" 2>&1 &
client() { php "$here/receiver/tests/client.php" "$@"; }
client ready "$port" ||
  { echo "control-screenshot: the receiver did not start" >&2; exit 1; }
client fire "$port" "charset=utf-8&artist=Nina%20Simone&album=Pastel%20Blues&title=Sinnerman"
sleep 1
client fire "$port" "charset=utf-8&artist=Les%20%C3%89toiles&album=%C3%80%20la%20carte&title=Caf%C3%A9"
address=""
for _ in $(seq 50); do
  address=$(sed -n 's/^ *control page: *//p' "$work/receiver.log" | tr -d '\r')
  [ -n "$address" ] && break
  sleep 0.1
done
[ -n "$address" ] || { echo "control-screenshot: no control page address" >&2; exit 1; }
sleep 3
PYTHONPATH="$here/tests/support" python3 - "$address" "$output" "$work" <<'PYTHON'
import base64, sys, time
from browser import Browser
address, output, work = sys.argv[1:4]
with Browser(work) as browser:
    page = browser.open(address, 1100, 900)
    page.wait("document.getElementById('history-list').children.length > 1"
              " && document.querySelectorAll('#problem-list li').length > 0")
    time.sleep(1.5)
    height = page.evaluate(
        "Math.max(...['history', 'actions'].map((id) => document"
        ".getElementById(id).getBoundingClientRect().bottom)) + 16")
    browser.command("Emulation.setDeviceMetricsOverride",
                    {"width": 1100, "height": int(height),
                     "deviceScaleFactor": 1, "mobile": False}, page._session)
    time.sleep(1)
    shot = browser.command("Page.captureScreenshot", {"format": "png"},
                           page._session)
    open(output, "wb").write(base64.b64decode(shot["data"]))
PYTHON
echo "saved $output ($(identify -format '%wx%h' "$output"))"
