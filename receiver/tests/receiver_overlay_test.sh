#!/bin/bash
# The shipped trackwire_receiver.exe's overlay under wine64, in headless
# Chromium (overlay_checks.py): Japanese, Arabic and emoji titles from the
# player simulator through the shipped DLL with charset=utf-8 in its request
# path, long titles inside the box, right-to-left titles, each switch of its
# address, and the song folder's overlay.css.
#
#   receiver_overlay_test.sh BIN_DIR WINEPREFIX WORK_DIR
set -u
source "$(dirname "$0")/receiver_support.sh" receiver_overlay_test.sh "$@"
begin_browser_test receiver_overlay_test

port=$(free_port)
# No --encoding: the marker in the request is what makes it UTF-8.
(cd "$work" && exec "$wine" "$bin/trackwire_receiver.exe" --port "$port" \
  --console --folder "$(windows_path "$files")") >"$work/receiver.log" 2>&1 &
receiver_pid=$!
client ready "$port" || { echo "the receiver did not start:"; cat "$work/receiver.log"; exit 1; }

mkdir -p "$work/settings"
printf '127.0.0.1\r\n%s\r\n%s' "$port" \
  '/set_current_song.php?charset=utf-8&artist=%s&album=%s&title=%s' \
  >"$work/settings/gen_trackwire.ini"
printf '%s\t%s\t%s\t2\n' "宇多田ヒカル" "First Love" "宇多田ヒカル - 初恋" \
  "فيروز" "" "فيروز - أغنية الليل" "Party People" "Fun" "Party People - Party 🎉🔥 Time" \
  >"$work/scripts.txt"
(cd "$bin" && timeout 90 "$wine" player_sim.exe --plugin gen_trackwire.dll \
  --playlist "$(windows_path "$work/scripts.txt")" \
  --settings-dir "$(windows_path "$work/settings")" ) \
  >"$work/simulator.log" 2>&1
check "the player simulator with the shipped DLL" 0 $?
check "every script through the plug-in with charset=utf-8" \
  "$(printf '%s\n' "Party 🎉🔥 Time|Party People" "أغنية الليل|فيروز" "初恋|宇多田ヒカル")" \
  "$(client get "$port" /history.json | php -r '
    foreach (json_decode(stream_get_contents(STDIN), true) as $song)
      echo $song["title"], "|", $song["artist"], "\n";')"

python3 "$here/overlay_checks.py" "$port" "$files" "$work" "Party 🎉🔥 Time"
check "the overlay in Chromium" 0 $?
checks_summary
