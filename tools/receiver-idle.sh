#!/bin/bash
# What trackwire_receiver.exe costs while it waits, as an icon and in a
# console, side by side in the same run: CPU time and resident memory over
# SECONDS (default 600) with no report, then the time from a report to the
# event a page following /events receives (ROUNDS reports each, default
# 200). The shipped 32-bit program under WoW64 where the CPU runs 32-bit
# code, else the 64-bit build of the same sources.
#
#   tools/receiver-idle.sh [SECONDS] [ROUNDS]
set -eu
cd "$(dirname "$0")/.."
repo=$PWD
seconds=${1:-600}
rounds=${2:-200}
source tests/support/script_support.sh
tree=i686-wine
if ! cpu32=$(tools/cpu32.sh); then
  tree=x64-stand-in
  echo "receiver-idle: $cpu32; measuring the 64-bit build"
fi
{
  if [ $tree = i686-wine ]; then
    cmake --preset i686-release && cmake --build --preset i686-release
  fi
  cmake --preset $tree && cmake --build --preset $tree --target trackwire_receiver
} >/dev/null || { echo "receiver-idle: the build failed" >&2; exit 1; }
bin=$repo/build/$tree/bin
work=$repo/build/$tree/receiver-idle
rm -rf "$work"
mkdir -p "$work/tray" "$work/console"
export WINEPREFIX=$work/prefix WINEDEBUG=-all
cmake/wine-prefix.sh "$WINEPREFIX" >/dev/null
wine=/usr/lib/wine/wine64

xvfb_pid=""
finish() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  true
}
trap finish EXIT
start_xvfb "$work/display"

declare -A port pid
for mode in tray console; do
  port[$mode]=$(free_port)
  extra=()
  [ $mode = console ] && extra=(--console)
  (cd "$work" && exec "$wine" "$bin/trackwire_receiver.exe" --port "${port[$mode]}" \
    "${extra[@]}" --folder "$(windows_path "$work/$mode")") >"$work/$mode.log" 2>&1 &
  php receiver/tests/client.php ready "${port[$mode]}" ||
    { echo "receiver-idle: the $mode receiver did not start" >&2; exit 1; }
  # The Windows process itself, found by its command line.
  pid[$mode]=$(pgrep -f "trackwire_receiver\.exe --port ${port[$mode]}( |$)" | tail -n1)
done

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
hz=$(getconf CLK_TCK)
declare -A start_ticks peak_rss
for mode in tray console; do
  start_ticks[$mode]=$(ticks "${pid[$mode]}")
  peak_rss[$mode]=$(rss_kb "${pid[$mode]}")
done
start_rss_tray=${peak_rss[tray]} start_rss_console=${peak_rss[console]}
echo "receiver-idle: $tree, ${seconds} s without a report..."
for ((t = 0; t < seconds; t += 5)); do
  sleep 5
  for mode in tray console; do
    rss=$(rss_kb "${pid[$mode]}")
    [ "$rss" -gt "${peak_rss[$mode]}" ] && peak_rss[$mode]=$rss
  done
done

echo
echo "| mode | CPU over ${seconds} s | CPU share | memory at start | at end | peak | report to event (median / worst of $rounds) |"
echo "|---|---|---|---|---|---|---|"
for mode in tray console; do
  used=$(( $(ticks "${pid[$mode]}") - ${start_ticks[$mode]} ))
  end_rss=$(rss_kb "${pid[$mode]}")
  start_var=start_rss_$mode
  events=$(php receiver/tests/client.php events "${port[$mode]}" "$rounds" | tail -n1)
  timing=$(sed -E 's/.*median ([0-9.]+ ms), max ([0-9.]+ ms).*/\1 \/ \2/' <<<"$events")
  awk -v m="$mode" -v u="$used" -v hz="$hz" -v s="$seconds" -v a="${!start_var}" \
    -v e="$end_rss" -v p="${peak_rss[$mode]}" -v t="$timing" 'BEGIN {
      printf "| %s | %.2f s | %.3f %% | %.1f MB | %.1f MB | %.1f MB | %s |\n",
        m, u / hz, 100 * u / hz / s, a / 1024, e / 1024, p / 1024, t }'
done
