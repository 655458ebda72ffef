#!/bin/bash
# Saves pictures of the setup program's components, directory and finish
# pages, under wine64 in an Xvfb display of its own, with the player recorded
# in C:\Program Files (x86), as installer-components.png,
# installer-directory.png and installer-finish.png; it installs into that
# prefix on the way.
#   installer/screenshot.sh gen_trackwire.dll trackwire_receiver.exe [OUTPUT_DIR]
# Wine 8.0's WoW64 mode cannot measure text for 32-bit programs (the edit
# box crashes in uniscribe), so the picture is of the same script built for
# amd64; the pages are the same.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
usage="usage: installer/screenshot.sh gen_trackwire.dll trackwire_receiver.exe [OUTPUT_DIR]"
dll=$(realpath "${1:?$usage}")
receiver=$(realpath "${2:?$usage}")
output=$(realpath -m "${3:-$repo/docs}")
work=$repo/build/installer-screenshot
prefix=$work/prefix
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64

rm -rf "$work"
mkdir -p "$work"
"$repo/installer/build.sh" "$dll" "$receiver" "$work/setup-amd64.exe" "-XTarget amd64-unicode"
"$repo/cmake/wine-prefix.sh" "$prefix" >/dev/null
# Wine's desktop process must start with the display set.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
setup_pid=""
finish() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  [ -z "$setup_pid" ] || wait "$setup_pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
}
trap finish EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=:$(head -n1 "$work/display")
# Without a window manager the caption shows only when Wine draws the frame.
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Winamp' /ve /d 'C:\Program Files (x86)\Winamp' /f >/dev/null 2>&1
mkdir -p "$prefix/drive_c/Program Files (x86)/Winamp/Plugins"
: >"$prefix/drive_c/Program Files (x86)/Winamp/winamp.exe"

"$wine" "$work/setup-amd64.exe" >/dev/null 2>&1 &
setup_pid=$!
window=""
for _ in $(seq 300); do
  window=$(xdotool search --name '^WinAmp Tunebeacon 1.0 Setup' 2>/dev/null | head -n1) && [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "screenshot: the setup window did not open" >&2; exit 1; }
mkdir -p "$output"
# The log page in between: its picture is not kept.
for page in components directory log finish; do
  sleep 2  # let the page finish drawing
  if [ "$page" != log ]; then
    eval "$(xdotool getwindowgeometry --shell "$window")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$output/installer-$page.png"
    echo "saved $output/installer-$page.png (${WIDTH}x${HEIGHT})"
  fi
  # Finish would start the receiver.
  [ "$page" = finish ] && break
  # Enter presses Next (Install on the directory page), the default button.
  xdotool key --window "$window" Return
done
