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
# -WX: a warning (an unused string, a missing version key) fails the build.
makensis -V2 -WX "$@" -DDLL="$dll" -DRECEIVER="$receiver" -DOUTFILE="$output" "$here/gen_trackwire.nsi"
