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
# A program that faults ends at once with its fault code, in both views of
# the registry, instead of waiting for a debugger that nobody attaches.
for view in 64 32; do
  /usr/lib/wine/wine64 reg add \
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /d '' /f /reg:$view >/dev/null 2>&1
done
/usr/lib/wine/wineserver -w
# Debian's Wine 8.0 never reads its own fonts in /usr/share/wine/fonts (from
# fonts-wine): without Marlett the caption buttons draw as letters, and the
# dialog font Tahoma falls back to another. The prefix's font folder is read.
cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
echo "wine prefix ready: $prefix"
