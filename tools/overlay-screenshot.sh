#!/bin/bash
# Saves the picture of the stream overlay in docs/: the receiver's page for
# ?overlay=1 with "Café" by "Les Étoiles" and an album cover (a picture
# ImageMagick paints), as page_print makes it, served by
# PHP's built-in server on a loopback port and shot by headless Chromium in a
# frame over a dark checkered backdrop, so that its transparency shows.
#   overlay-screenshot.sh [PAGE_PRINT [OUTPUT]]
# PAGE_PRINT defaults to the native build's (cmake --preset native-asan, then
# cmake --build --preset native-asan --target page_print).
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/tests/support/script_support.sh"
page_print=$(realpath "${1:-$here/build/native-asan/bin/page_print}")
output=$(realpath -m "${2:-$here/docs/overlay.png}")
work=$(mktemp -d)
server_pid=""
finish() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap finish EXIT

mkdir "$work/site"
"$page_print" overlay=1 "Les Étoiles" "À la carte" "Café" 2026-12-08T23:55:17Z \
  placeholder >"$work/site/index.html"
convert -size 500x500 radial-gradient:'#f2c14e'-'#7a2e3b' \
  -fill '#1d1f26' -draw 'circle 250,250 250,170' \
  -fill '#f2c14e' -draw 'circle 250,250 250,236' "$work/site/cover.jpg"
cat >"$work/site/backdrop.html" <<'HTML'
<!DOCTYPE html>
<html><head><meta charset="utf-8"><style>
  html, body { margin: 0; height: 100%; overflow: hidden; }
  body { background: repeating-conic-gradient(#3d4049 0 25%, #2c2e35 0 50%) 0 0 / 24px 24px; }
  iframe { display: block; border: 0; width: 100%; height: 100%; }
</style></head>
<body><iframe src="/?overlay=1"></iframe></body></html>
HTML

port=$(free_port)
php -S "127.0.0.1:$port" -t "$work/site" >"$work/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 50); do
  php -r 'exit(@fsockopen("127.0.0.1", (int)$argv[1]) ? 0 : 1);' "$port" && break
  sleep 0.1
done

timeout 60 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars \
  --no-first-run --disable-background-networking --disable-component-update \
  --lang=en-US --user-data-dir="$work/profile" --window-size=526,186 \
  --screenshot="$output" "http://127.0.0.1:$port/backdrop.html" \
  >"$work/browser.log" 2>&1 || { cat "$work/browser.log"; exit 1; }
echo "saved $output"
