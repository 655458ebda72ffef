#!/bin/bash
# Every test: the pure code natively under ASan and UBSan, the shipped i686
# files' artifact checks, then the runtime suites under wine64. Where the CPU
# runs 32-bit code: the 32-bit suites on the shipped files (WoW64), the 64-bit
# portability build, and the demo with the 32-bit probe forced to "cannot",
# so that the stand-in path keeps working. Where it cannot: the 64-bit build
# of the whole path stands in for the 32-bit suites (preset x64-stand-in).
# Runs every configuration even when one fails, then prints one summary
# table; exits non-zero when anything failed.
#
# The Wine suites mostly wait (timers, Xvfb, servers), so where 32-bit code
# runs, i686-wine runs beside x64-wine and demo-stand-in: separate build
# trees, wine prefixes, Xvfb displays and free loopback ports. Each side
# writes to its own log under build/test-results, printed when it ends.
set -u
cd "$(dirname "$0")/.." || exit 1
tools/install-deps.sh || exit 1
cpu32=$(tools/cpu32.sh)
case $? in
  0)
    configurations=(native-asan i686-release i686-wine x64-wine demo-stand-in)
    # One stage after another; the sides of a stage (configurations joined by
    # commas, run in that order) at the same time.
    stages=(native-asan i686-release "i686-wine x64-wine,demo-stand-in") ;;
  1)
    configurations=(native-asan i686-release x64-stand-in)
    stages=("${configurations[@]}") ;;
  *) exit 1 ;;
esac
echo "== $cpu32"
echo "== configurations: ${configurations[*]}"

results=$PWD/build/test-results
rm -rf "$results"
mkdir -p "$results"
failures=0

# junit_count FILE ATTRIBUTE: one count from ctest's JUnit summary.
junit_count() {
  sed -n "s/^[[:space:]]*$2=\"\([0-9]*\)\".*/\1/p" "$1" | head -n1
}

run_preset() {  # run_preset NAME: configure, build, test; sets row
  local junit=$results/$1.xml
  if ! cmake --preset "$1" || ! cmake --build --preset "$1"; then
    row="build failed"
    return 1
  fi
  ctest --preset "$1" --output-junit "$junit"
  local status=$?
  if [ ! -f "$junit" ]; then
    row="no results"
    return 1
  fi
  local tests failed skipped
  tests=$(junit_count "$junit" tests)
  failed=$(junit_count "$junit" failures)
  skipped=$(($(junit_count "$junit" skipped) + $(junit_count "$junit" disabled)))
  row="$((tests - failed - skipped)) | $failed | $skipped"
  return $status
}

# The demo as a machine without 32-bit execution runs it, on the 64-bit tree
# that x64-wine built, in a prefix of its own.
run_demo_stand_in() {
  local prefix=$PWD/build/x64-wine/stand-in-prefix
  rm -rf "$prefix"
  if TRACKWIRE_NO_32BIT=1 tools/demo.sh --no-build --wineprefix "$prefix"; then
    row="1 | 0 | 0"
    return 0
  fi
  row="0 | 1 | 0"
  return 1
}

# run_configuration NAME: runs it and writes its row of the summary table to
# build/test-results/NAME.row; fails when it failed.
run_configuration() {
  local start=$SECONDS status minutes
  echo
  echo "== $1"
  if [ "$1" = demo-stand-in ]; then
    run_demo_stand_in
  else
    run_preset "$1"
  fi
  status=$?
  minutes=$(awk -v s=$((SECONDS - start)) 'BEGIN { printf "%.1f", s / 60 }')
  echo "| $1 | $row | $minutes |" >"$results/$1.row"
  return $status
}

# run_side NAME,NAME...: those configurations in order, each even when the
# one before failed; the exit status is the number that failed.
run_side() {
  local configuration count=0
  for configuration in ${1//,/ }; do
    run_configuration "$configuration" || count=$((count + 1))
  done
  return $count
}

# The sides running now, by process group; ended with the run.
declare -A side_of=()
stop_sides() {
  local pid
  for pid in "${!side_of[@]}"; do
    kill -TERM -- -"$pid" 2>/dev/null
  done
  exit 130
}
trap stop_sides INT TERM

for stage in "${stages[@]}"; do
  read -r -a sides <<<"$stage"
  if [ ${#sides[@]} = 1 ]; then
    run_side "${sides[0]}"
    failures=$((failures + $?))
    continue
  fi
  echo
  echo "== side by side: ${sides[*]//,/ then }"
  for side in "${sides[@]}"; do
    log=$results/${side%%,*}.log
    set -m  # a process group of its own, for stop_sides
    run_side "$side" >"$log" 2>&1 </dev/null &
    side_of[$!]=$side
    set +m
    echo "== ${side//,/ then }: started, log $log"
  done
  while [ ${#side_of[@]} -gt 0 ]; do
    wait -n -p pid "${!side_of[@]}"
    status=$?
    side=${side_of[$pid]}
    unset "side_of[$pid]"
    failures=$((failures + status))
    echo
    echo "== ${side//,/ then }: ended $(awk -v s=$SECONDS 'BEGIN { printf "%.1f", s / 60 }') minutes into the run; its log:"
    cat "$results/${side%%,*}.log"
  done
done

echo
echo "== summary"
echo
echo "| configuration | passed | failed | skipped | minutes |"
echo "|---|---|---|---|---|"
for configuration in "${configurations[@]}"; do
  cat "$results/$configuration.row" 2>/dev/null ||
    echo "| $configuration | no results | | | |"
done
echo
echo "wall time: $(awk -v s=$SECONDS 'BEGIN { printf "%.1f", s / 60 }') minutes"
echo
if [ "${configurations[2]}" = x64-stand-in ]; then
  echo "The 32-bit runtime suites did not run on this machine; the 64-bit build"
  echo "of the whole path (x64-stand-in) ran in their place. Why: $cpu32."
else
  echo "The 32-bit runtime suites ran on this machine with the shipped files ($cpu32)."
fi
if [ $failures -gt 0 ]; then
  echo "test: $failures of ${#configurations[@]} configurations failed"
  exit 1
fi
echo "test: all ${#configurations[@]} configurations passed"
