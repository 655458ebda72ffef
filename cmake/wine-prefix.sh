#!/bin/bash
# Makes a fresh wine prefix for this test run, so that nothing left from an
# earlier run (a hung process, its windows, a settings file) can interfere.
set -eu
prefix=${1:?usage: wine-prefix.sh PREFIX}
WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
rm -rf "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
/usr/lib/wine/wineserver -w
echo "wine prefix ready: $prefix"
