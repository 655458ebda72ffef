#!/bin/bash
# Every test: the pure code natively under ASan and UBSan, the shipped i686
# files' artifact checks, then the runtime suites under wine64. Where the CPU
# runs 32-bit code: the 32-bit suites on the shipped files (WoW64), the 64-bit
# portability build, and the demo with the 32-bit probe forced to "cannot",
# so that the stand-in path keeps working. Where it cannot: the 64-bit build
# of the whole path stands in for the 32-bit suites (preset x64-stand-in).
# Runs every configuration even when one fails, then prints one summary
# table; exits non-zero when anything failed.
set -u
cd "$(dirname "$0")/.."
tools/install-deps.sh || exit 1
cpu32=$(tools/cpu32.sh)
case $? in
  0) configurations=(native-asan i686-release i686-wine x64-wine demo-stand-in) ;;
  1) configurations=(native-asan i686-release x64-stand-in) ;;
  *) exit 1 ;;
esac
echo "== $cpu32"
echo "== configurations: ${configurations[*]}"

results=$PWD/build/test-results
rm -rf "$results"
mkdir -p "$results"
rows=()
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

for configuration in "${configurations[@]}"; do
  echo
  echo "== $configuration"
  start=$SECONDS
  if [ "$configuration" = demo-stand-in ]; then
    run_demo_stand_in
  else
    run_preset "$configuration"
  fi
  status=$?
  [ $status = 0 ] || failures=$((failures + 1))
  minutes=$(awk -v s=$((SECONDS - start)) 'BEGIN { printf "%.1f", s / 60 }')
  rows+=("| $configuration | $row | $minutes |")
done

echo
echo "== summary"
echo
echo "| configuration | passed | failed | skipped | minutes |"
echo "|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"
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
