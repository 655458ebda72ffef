#!/bin/bash
# Saves a picture of the settings dialog, opened with the default settings by
# the test program's fake player, under wine64 in an Xvfb display of its own.
# Usage: tools/dialog-screenshot.sh BUILD_DIR [OUTPUT.png]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: dialog-screenshot.sh BUILD_DIR [OUTPUT.png]}" && pwd)
output=$(realpath -m "${2:-$here/docs/settings-dialog.png}")
# A prefix of its own: without a window manager the caption shows only when
# Wine draws the frame itself.
prefix=$build/wineprefix-screenshot
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -d "$prefix" ]; then
  "$here/cmake/wine-prefix.sh" "$prefix"
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' \
    /v Decorated /d N /f >/dev/null 2>&1
  wineserver -w
fi

exchange=$(mktemp -d)
display_file=$exchange/display
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
program_pid=
finish() {
  touch "$exchange/done"
  [ -n "$program_pid" ] && timeout 30 tail --pid="$program_pid" -f /dev/null
  wineserver -k 2>/dev/null
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  rm -rf "$exchange"
}
trap finish EXIT
for _ in $(seq 100); do
  [ -s "$display_file" ] && break
  sleep 0.05
done
export DISPLAY=:$(head -n1 "$display_file")

cd "$build/bin"
TRACKWIRE_SCREENSHOT_DIR="Z:${exchange//\//\\}" timeout 120 \
  /usr/lib/wine/wine64 dialog_tests.exe --gtest_also_run_disabled_tests \
  --gtest_filter='SettingsDialog.DISABLED_HoldOpenForScreenshot' \
  >"$exchange/log" 2>&1 &
program_pid=$!
for _ in $(seq 600); do
  [ -s "$exchange/rect" ] && break
  sleep 0.1
done
if [ ! -s "$exchange/rect" ]; then
  echo "dialog-screenshot: the dialog did not open" >&2
  cat "$exchange/log" >&2
  exit 1
fi
geometry=$(head -n1 "$exchange/rect" | tr -d '\r')
import -window root -crop "$geometry" +repage "$output"
touch "$exchange/done"
wait "$program_pid" || { cat "$exchange/log" >&2; exit 1; }
program_pid=
echo "saved $output ($geometry)"
