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
# Wine fills syswow64 only where it can run 32-bit code: the prefix and the
# probe must agree, or the 32-bit runs would fail later with a bare wine error.
repo=$(cd "$(dirname "$0")/.." && pwd)
status=0
cpu32=$("$repo/tools/cpu32.sh") || status=$?
case $status in
  0) runs32=yes ;;
  1) runs32=no ;;
  *) exit 1 ;;
esac
if [ -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; then
  filled=yes
else
  filled=no
fi
if [ $runs32 = yes ] && [ $filled = no ]; then
  echo "wine-prefix: $cpu32, but wine made no 32-bit system folder" \
    "(C:\\windows\\syswow64 is empty): run tools/install-deps.sh" >&2
  exit 1
fi
if [ $runs32 = no ] && [ $filled = yes ] && [ "${TRACKWIRE_NO_32BIT:-0}" != 1 ]; then
  echo "wine-prefix: tools/cpu32.sh says \"$cpu32\", yet wine filled" \
    "C:\\windows\\syswow64 and so can run 32-bit code: the probe is wrong" >&2
  exit 1
fi
# A program that faults ends at once with its fault code, in both views of
# the registry, instead of waiting for a debugger that nobody attaches.
for view in 64 32; do
  /usr/lib/wine/wine64 reg add \
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /d '' /f /reg:$view >/dev/null 2>&1
done
# Xvfb has no window manager: a window Wine leaves to one waits 2 s for it
# to confirm every hide. Wine manages the test windows itself.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' \
  /v Managed /d N /f >/dev/null 2>&1
# No browser starts from a test: an address a program opens is written down.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\WineBrowser' \
  /v Browsers /d "$repo/tests/support/opened_page.sh" /f >/dev/null 2>&1
/usr/lib/wine/wineserver -w
# Debian's Wine 8.0 never reads its own fonts in /usr/share/wine/fonts (from
# fonts-wine): without Marlett the caption buttons draw as letters, and the
# dialog font Tahoma falls back to another. The prefix's font folder is read.
cp /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
echo "wine prefix ready: $prefix ($cpu32)"
