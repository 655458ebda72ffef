#!/bin/bash
# Makes a fresh wine prefix for this test run, so that nothing left from an
# earlier run (a hung process, its windows, a settings file) can interfere.
set -eu
prefix=${1:?usage: wine-prefix.sh PREFIX}
WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
# A server that is still ending may write into the folder while it goes.
for _ in 1 2 3 4 5; do
  rm -rf "$prefix" 2>/dev/null && break
  sleep 1
done
[ ! -e "$prefix" ] || { echo "cannot remove $prefix" >&2; exit 1; }
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
/usr/lib/wine/wineserver -w
echo "wine prefix ready: $prefix"
