#!/bin/bash
# Can wine64 run 32-bit Windows programs on this machine? Its WoW64 mode needs
# a CPU that lets a 64-bit process switch to 32-bit code; some virtual
# machines fault on that switch, and then wine starts no 32-bit program.
#
#   tools/cpu32.sh                 prints one line saying which case holds;
#                                  exit 0: 32-bit code runs, 1: it cannot
#   tools/cpu32.sh --check PROGRAM exit 0 when PROGRAM can start here; else
#                                  one line on standard error saying why, exit 1
#   tools/cpu32.sh --is-32bit PROGRAM  exit 0 when PROGRAM is a 32-bit one
#
# TRACKWIRE_NO_32BIT=1 makes it answer "cannot", to try the 64-bit stand-in
# on a machine that could run 32-bit code. Exit 2: the probe cannot be built.
set -u
repo=$(cd "$(dirname "$0")/.." && pwd)

# The verdict: sets reason, returns 0 or 1.
verdict() {
  if [ "${TRACKWIRE_NO_32BIT:-0}" = 1 ]; then
    cause="TRACKWIRE_NO_32BIT=1 says so"
    reason="this machine cannot run 32-bit programs: $cause"
    return 1
  fi
  local source=$repo/tools/cpu32_probe.c
  local cache=$repo/build/cpu32-probe
  local probe=$cache/cpu32_probe
  if [ ! -x "$probe" ] || [ "$source" -nt "$probe" ]; then
    mkdir -p "$cache" 2>/dev/null || { cache=$(mktemp -d) && probe=$cache/cpu32_probe; }
    if ! gcc -O2 -no-pie -o "$probe.new" "$source" 2>"$cache/build.log"; then
      echo "cpu32: cannot build the probe with gcc (see $cache/build.log)" >&2
      exit 2
    fi
    mv -f "$probe.new" "$probe"
  fi
  # A fault is the answer, not an error worth a core file or a shell notice.
  { (ulimit -c 0; exec "$probe"); } 2>/dev/null
  case $? in
    0)
      reason="this machine runs 32-bit code: wine64 starts 32-bit programs (WoW64)"
      return 0 ;;
    2) cause="the probe found no memory below 2 GB for 32-bit code" ;;
    *) cause="its CPU faults on any switch to 32-bit code (a virtual machine without 32-bit support), so wine64 starts no 32-bit program" ;;
  esac
  reason="this machine cannot run 32-bit programs: $cause"
  return 1
}

# Is the Windows program $1 a 32-bit one (PE machine 0x14c)?
is_32bit() {
  local machine
  machine=$(od -An -tx1 -j"$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')" \
    -N6 "$1" 2>/dev/null | tr -d ' \n')
  [ "$machine" = 504500004c01 ]
}

case ${1:-} in
  "")
    verdict
    status=$?
    echo "$reason"
    exit $status ;;
  --check)
    program=${2:?usage: tools/cpu32.sh --check PROGRAM}
    # Only a 32-bit program needs the switch.
    is_32bit "$program" || exit 0
    verdict && exit 0
    echo "cannot start the 32-bit $(basename "$program") here: $cause; tools/test.sh and tools/demo.sh run the 64-bit build of the same sources on such a machine" >&2
    exit 1 ;;
  --is-32bit)
    is_32bit "${2:?usage: tools/cpu32.sh --is-32bit PROGRAM}" ;;
  *)
    sed -n '/^#   tools/,/^# TRACKWIRE/p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2 ;;
esac
