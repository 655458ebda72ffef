# The browser side of the overlay tests: headless Chromium on a page whose
# observer (overlay_observer.js) reports to /observe, and what it saw.
# Needs $work and exports OVERLAY_LOG; the caller's EXIT trap calls
# stop_browser.
export OVERLAY_LOG=$work/observed.log
browser_pid=""
stop_browser() {
  [ -n "$browser_pid" ] || return 0
  kill -- -"$browser_pid" 2>/dev/null
  wait "$browser_pid" 2>/dev/null
  browser_pid=""
}
browse() {  # browse URL [NAME=VALUE...]: until stop_browser
  stop_browser
  : >"$OVERLAY_LOG"
  rm -rf "$work/profile"
  env "${@:2}" setsid chromium --headless --no-sandbox --disable-gpu \
    --disable-background-networking --disable-component-update --disable-sync \
    --no-first-run --lang=en-US --user-data-dir="$work/profile" "$1" \
    >"$work/browser.log" 2>&1 &
  browser_pid=$!
}
observed() {  # observed at|opacity|states|history|cover|sizes: latest report
  tail -n1 "$OVERLAY_LOG" 2>/dev/null | php -r '
    $report = json_decode(stream_get_contents(STDIN), true);
    if (!is_array($report)) exit;
    $fields = ["at" => $report[0], "opacity" => $report[1],
               "states" => implode("\n", $report[2]),
               "history" => $report[3] ?? "", "cover" => $report[4] ?? "",
               "sizes" => $report[5] ?? ""];
    echo $fields[$argv[1]];' "$1"
}
# wait_until FIELD VALUE: until the latest report's value (the last state for
# "states", the page's clock at least VALUE ms for "at"); 30 s at most.
wait_until() {
  local actual
  for _ in $(seq 300); do
    actual=$(observed "$1" | tail -n1)
    if [ "$1" = at ]; then
      [ -n "$actual" ] && [ "$actual" -ge "$2" ] && return 0
    else
      [ "$actual" == "$2" ] && return 0
    fi
    sleep 0.1
  done
  echo "waited in vain for $1 $2 (last: $actual)"
}
reports() { wc -l <"$OVERLAY_LOG"; }
connections() { wc -l <"$OVERLAY_LOG.events" 2>/dev/null || echo 0; }
lines() { printf '%s\n' "$@"; }

