# Shared by the test scripts (sourced): equality checks with a closing
# "N passed, M failed" line, and an Xvfb display of the script's own.

passed=0
failed=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAILED %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
  fi
}

# Prints the closing line; true when nothing failed.
checks_summary() {
  echo "$passed passed, $failed failed"
  [ "$failed" = 0 ]
}

# start_xvfb FILE: starts Xvfb on a free display (its number goes to FILE),
# sets xvfb_pid and exports DISPLAY. The caller stops it by that PID.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$1" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$1" ] && break; sleep 0.05; done
  [ -s "$1" ] || { echo "Xvfb did not start"; exit 1; }
  export DISPLAY=:$(head -n1 "$1")
}
