# Shared by the test scripts (sourced): equality checks with a closing
# "N passed, M failed" line, an Xvfb display of the script's own, loopback
# ports and the reference PHP receiver on one of them.

support_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

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

# A loopback port that nothing listens on at the moment.
free_port() {
  php -r '$s = stream_socket_server("tcp://127.0.0.1:0");
    echo substr(strrchr(stream_socket_get_name($s, false), ":"), 1);'
}

# A Linux path as wine's Z: drive shows it.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# run_value NAME: the value NAME under HKCU's Run key, as "$wine" reads it
# in $WINEPREFIX; empty when there is none.
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
run_value() {
  "$wine" reg query "$run_key" /v "$1" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$1 *REG_SZ *//p"
}

# start_php_receiver SONG_FILE LOG: examples/server under PHP's built-in
# server on a free loopback port, tried again if another program takes the
# port first. Sets port and php_pid; false when it did not start.
start_php_receiver() {
  local attempt wait
  for attempt in 1 2 3 4 5; do
    port=$(free_port)
    TRACKWIRE_SONG_FILE=$1 php -S "127.0.0.1:$port" \
      -t "$support_repo/examples/server" >"$2" 2>&1 &
    php_pid=$!
    for wait in $(seq 50); do
      php -r 'exit(@fsockopen("127.0.0.1", (int)$argv[1]) ? 0 : 1);' "$port" &&
        return 0
      sleep 0.1
    done
    kill "$php_pid" 2>/dev/null
    wait "$php_pid" 2>/dev/null
    php_pid=""
  done
  return 1
}
