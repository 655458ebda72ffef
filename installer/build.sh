#!/bin/bash
# Makes the setup program from installer/gen_trackwire.nsi around one
# gen_trackwire.dll and one trackwire_receiver.exe: tools/package.sh and
# tests/installer_test.sh both call it, so the tested installer is the shipped one.
#   installer/build.sh gen_trackwire.dll trackwire_receiver.exe OUTPUT.exe [MAKENSIS_OPTION...]
set -eu
if [ $# -lt 3 ]; then
  echo "usage: installer/build.sh gen_trackwire.dll trackwire_receiver.exe OUTPUT.exe [MAKENSIS_OPTION...]" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
dll=$(realpath "$1")
receiver=$(realpath "$2")
output=$(realpath -m "$3")
shift 3
mkdir -p "$(dirname "$output")"
# makensis keeps each file's date: the commit's (or SOURCE_DATE_EPOCH), not
# the build's, so that the same commit gives the same setup program.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct 2>/dev/null || true)}
if [ -n "$epoch" ]; then
  dated=$(mktemp -d)
  trap 'rm -rf "$dated"' EXIT
  cp "$dll" "$dated/gen_trackwire.dll"
  cp "$receiver" "$dated/trackwire_receiver.exe"
  touch -d "@$epoch" "$dated/gen_trackwire.dll" "$dated/trackwire_receiver.exe"
  dll=$dated/gen_trackwire.dll receiver=$dated/trackwire_receiver.exe
fi
# -WX: a warning (an unused string, a missing version key) fails the build.
makensis -V2 -WX "$@" -DDLL="$dll" -DRECEIVER="$receiver" -DOUTFILE="$output" "$here/gen_trackwire.nsi"
