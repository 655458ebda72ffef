#!/bin/bash
# Runs one Windows program under 64-bit Wine, inside an Xvfb display of its
# own, in the private prefix named by TRACKWIRE_WINEPREFIX. Everything it
# starts it stops again: the display by PID, the prefix's processes with
# wineserver -k.
set -u
prefix=${TRACKWIRE_WINEPREFIX:?TRACKWIRE_WINEPREFIX names the wine prefix}
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
# Where the CPU cannot run 32-bit code, wine's own answer to a 32-bit program
# ("ShellExecuteEx failed: Internal error") explains nothing: say why instead.
"$(dirname "$0")/../tools/cpu32.sh" --check "$1" || exit 1

display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$display_file" ] && break
  sleep 0.05
done
display=$(head -n1 "$display_file")
rm -f "$display_file"
if [ -z "$display" ]; then
  echo "wine-run: Xvfb did not start" >&2
  kill "$xvfb_pid" 2>/dev/null
  exit 1
fi

finish() {
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
}
trap finish EXIT

DISPLAY=:$display "$wine" "$@"
