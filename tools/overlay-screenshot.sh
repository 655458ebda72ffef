#!/bin/bash
# Saves the pictures of the stream overlay in docs/: the receiver's page for
# ?overlay=1 with "Café" by "Les Étoiles" and an album cover (a picture
# ImageMagick paints), as page_print makes it, served by
# PHP's built-in server on a loopback port and shot by headless Chromium in a
# frame over a dark checkered backdrop, so that its transparency shows; then
# one picture per switch of the overlay's address (overlay-SWITCH.png).
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
convert -size 500x500 radial-gradient:'#f2c14e'-'#7a2e3b' \
  -fill '#1d1f26' -draw 'circle 250,250 250,170' \
  -fill '#f2c14e' -draw 'circle 250,250 250,236' "$work/site/cover.jpg"

port=$(free_port)
php -S "127.0.0.1:$port" -t "$work/site" >"$work/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 50); do
  php -r 'exit(@fsockopen("127.0.0.1", (int)$argv[1]) ? 0 : 1);' "$port" && break
  sleep 0.1
done

shoot() {  # shoot QUERY OUTPUT WIDTHxHEIGHT [TITLE]
  local name
  name=$(basename "$2" .png)
  "$page_print" "$1" "Les Étoiles" "À la carte" "${4:-Café}" \
    2026-12-08T23:55:17Z placeholder >"$work/site/$name.html"
  cat >"$work/site/$name-backdrop.html" <<HTML
<!DOCTYPE html>
<html><head><meta charset="utf-8"><style>
  html, body { margin: 0; height: 100%; overflow: hidden; }
  body { background: repeating-conic-gradient(#3d4049 0 25%, #2c2e35 0 50%) 0 0 / 24px 24px; }
  iframe { display: block; border: 0; width: 100%; height: 100%; }
</style></head>
<body><iframe src="/$name.html"></iframe></body></html>
HTML
  timeout 60 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars \
    --no-first-run --disable-background-networking --disable-component-update \
    --lang=en-US --user-data-dir="$work/profile" --window-size="${3/x/,}" \
    --screenshot="$2" "http://127.0.0.1:$port/$name-backdrop.html" \
    >"$work/browser.log" 2>&1 || { cat "$work/browser.log"; exit 1; }
  echo "saved $2"
}

# The page asks for the cover at /cover.jpg?placeholder.
shoot "overlay=1" "$output" 526x186
pictures=$(dirname "$output")
long="Café, a title long enough to reach the edge of a box of fixed width"
shoot "overlay=1&theme=light" "$pictures/overlay-theme-light.png" 526x186
shoot "overlay=1&theme=clear" "$pictures/overlay-theme-clear.png" 526x186
shoot "overlay=1&align=right" "$pictures/overlay-align-right.png" 700x186
shoot "overlay=1&width=640" "$pictures/overlay-width.png" 700x216 "$long"
shoot "overlay=1&scroll=1&width=480" "$pictures/overlay-scroll.png" 540x186 "$long"
shoot "overlay=1&cover=0" "$pictures/overlay-cover-0.png" 526x186
