#!/bin/bash
# The reference receiver under PHP's built-in server on a loopback port:
# good reports, missing parameters, hostile queries, HEAD and the shared key,
# sent as raw HTTP the way the plug-in sends them.
set -u
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/tests/support/script_support.sh"
work=$(mktemp -d)
song=$work/data/now_playing.json
mkdir -p "$work/data"
php_pid=""
finish() {
  [ -n "$php_pid" ] && kill "$php_pid" 2>/dev/null && wait "$php_pid" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

# A small client: "send METHOD TARGET [close|allow]" prints the status code
# (and with "allow" the Allow field), or "closed" when told to close right
# after sending, like the plug-in.
cat >"$work/client.php" <<'PHP'
<?php
[, $port, $method, $target] = $argv;
$close = ($argv[4] ?? '') === 'close';
$socket = fsockopen('127.0.0.1', (int)$port, $errno, $error, 5);
if (!$socket) { echo "no connection\n"; exit(1); }
fwrite($socket, "$method $target HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: Winamp Tunebeacon\r\n\r\n");
if ($close) { fclose($socket); echo "closed\n"; exit(0); }
stream_set_timeout($socket, 5);
$answer = stream_get_contents($socket);
echo preg_match('#^HTTP/1\.[01] (\d{3})#', $answer, $m) ? $m[1] : 'no answer';
if (($argv[4] ?? '') === 'allow') {
  echo ' ', preg_match('#\r\nAllow: *([^\r]*)#i', $answer, $m) ? $m[1] : '(no Allow)';
}
echo "\n";
PHP
# "field NAME" prints one field of the stored song.
field() {
  php -r '$s = json_decode((string)@file_get_contents($argv[1]), true);
    echo is_array($s) ? ($s[$argv[2]] ?? "(none)") : "(no song)";' "$song" "$1"
}

start_php_receiver "$song" "$work/server.log" ||
  { echo "the server did not start"; exit 1; }

send() { php "$work/client.php" "$port" "$@"; }
get() { php -r 'echo file_get_contents("http://127.0.0.1:" . $argv[1] . $argv[2]);' "$port" "$1"; }

# A report as the plug-in sends it, Windows-1252 bytes percent-encoded.
check "report answered" 204 \
  "$(send GET '/set_current_song.php?artist=Bj%F6rk%20%80&album=Caf%E9%20%26%20Co&title=It%27s%20%3Cb%3Efine%3C%2Fb%3E%20%2B%201')"
check "artist from 1252" "Björk €" "$(field artist)"
check "album from 1252" "Café & Co" "$(field album)"
check "title kept as text, + kept" "It's <b>fine</b> + 1" "$(field title)"
check "timestamp" 1 "$(field received | grep -cE '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z$')"

# The page shows it escaped, and its JSON carries the same text.
page=$(get /now_playing.php)
check "page escapes markup" 1 "$(grep -c 'It&apos;s &lt;b&gt;fine&lt;/b&gt; + 1' <<<"$page")"
check "page has no raw markup from the query" 0 "$(grep -c '<b>fine' <<<"$page")"
check "page shows 1252 text as UTF-8" 1 "$(grep -c 'Björk €' <<<"$page")"
json=$(get '/now_playing.php?json=1')
check "json endpoint" "Café & Co" "$(php -r 'echo json_decode($argv[1], true)["album"];' "$json")"

# With charset=utf-8 (any case) the values are UTF-8, broken bytes U+FFFD;
# the same bytes without it are Windows-1252. '+' is a space, as in $_GET.
check "utf-8 report" 204 \
  "$(send GET '/set_current_song.php?Charset=UTF-8&artist=%E5%AE%87%E5%A4%9A%E7%94%B0%E3%83%92%E3%82%AB%E3%83%AB&album=%D9%88%D8%AD%D8%AF%D9%86&title=Party+%F0%9F%8E%89%F0%9F%94%A5%20Time')"
check "utf-8 artist" "宇多田ヒカル" "$(field artist)"
check "utf-8 album" "وحدن" "$(field album)"
check "utf-8 title, + a space" "Party 🎉🔥 Time" "$(field title)"
check "utf-8 broken bytes" 204 \
  "$(send GET '/set_current_song.php?artist=Caf%E9&album=%C3&title=%ED%A0%80!&charset=utf-8')"
check "utf-8: a stray byte" "Caf�" "$(field artist)"
check "utf-8: a cut sequence" "�" "$(field album)"
check "utf-8: a surrogate's bytes" "���!" "$(field title)"
check "no marker" 204 "$(send GET '/set_current_song.php?charset=windows-1252&charset=utf-8&artist=Caf%C3%A9&title=a+b')"
check "no marker: 1252" "CafÃ©" "$(field artist)"
check "no marker: + a space" "a b" "$(field title)"

# Missing parameters give empty fields; none at all is refused, the song kept.
check "title only" 204 "$(send GET '/set_current_song.php?title=Solo')"
check "missing artist empty" "" "$(field artist)"
check "missing album empty" "" "$(field album)"
check "title alone" "Solo" "$(field title)"
check "no parameters" 400 "$(send GET /set_current_song.php)"
check "array names are not the parameters" 400 \
  "$(send GET '/set_current_song.php?artist[]=x&title[a]=y&album%5B%5D=z')"
check "song kept after refusals" "Solo" "$(field title)"

# Hostile values: control bytes dropped, long values cut, paths are text.
long=$(printf 'x%.0s' $(seq 3000))
check "long value" 204 "$(send GET "/set_current_song.php?artist=a%00b%0D%0Ac%1B&album=..%2F..%2Fetc%2Fpasswd&title=$long")"
check "controls dropped" "abc" "$(field artist)"
check "path stays text" "../../etc/passwd" "$(field album)"
check "long value cut to 500" 500 "$(field title | wc -c)"
check "broken percent escapes" 204 "$(send GET '/set_current_song.php?artist=%ZZ%&album=%C3&title=%FF%FE')"
check "stray byte from 1252" "Ã" "$(field album)"
check "no temporary files left, nothing else written" "now_playing.json" \
  "$(ls -A "$work/data" | tr '\n' ' ' | sed 's/ $//')"

# The plug-in closes the connection right after sending; the report counts.
check "fire and close" closed "$(send GET '/set_current_song.php?artist=Quick&album=Gone&title=Away' close)"
for _ in $(seq 50); do [ "$(field title)" = Away ] && break; sleep 0.1; done
check "stored although the client left" "Away" "$(field title)"

# HEAD changes nothing: refused like any method but GET.
check "HEAD refused, GET allowed" "405 GET" "$(send HEAD '/set_current_song.php?title=Head' allow)"
check "POST refused, GET allowed" "405 GET" "$(send POST '/set_current_song.php?title=Post' allow)"
check "HEAD or POST stores nothing" "Away" "$(field title)"

# With TRACKWIRE_KEY a report needs key= with that value; others store nothing.
kill "$php_pid" 2>/dev/null; wait "$php_pid" 2>/dev/null; php_pid=""
TRACKWIRE_KEY=s3cret start_php_receiver "$song" "$work/keyed.log" ||
  { echo "the server with a key did not start"; exit 1; }
check "key: none refused" 403 "$(send GET '/set_current_song.php?artist=A&album=B&title=None')"
check "key: wrong one refused" 403 "$(send GET '/set_current_song.php?key=s3cre&artist=A&album=B&title=Wrong')"
check "key: refused reports store nothing" "Away" "$(field title)"
check "key: the right one taken" 204 "$(send GET '/set_current_song.php?key=s3cret&artist=A&album=B&title=Keyed')"
check "key: stored" "Keyed" "$(field title)"

check "no PHP warnings or errors" 0 \
  "$(cat "$work/server.log" "$work/keyed.log" | grep -ciE 'PHP (warning|notice|fatal|deprecated)')"

# Behind nginx and PHP-FPM, with the settings SERVER-GUIDE.md gives: every
# report of a client that hangs up at once is stored. tools/install-deps.sh
# installs both (Debian's nginx and php8.2-fpm); without them this fails.
fpm=$(command -v php-fpm8.2 || true)
if command -v nginx >/dev/null && [ -n "$fpm" ] && [ -f /etc/nginx/snippets/fastcgi-php.conf ]; then
  nginx_port=$(php -r '$s = stream_socket_server("tcp://127.0.0.1:0");
    echo substr(strrchr(stream_socket_get_name($s, false), ":"), 1);')
  mkdir -p "$work/nginx"
  ln -s /etc/nginx/fastcgi.conf "$work/nginx/fastcgi.conf"
  cat >"$work/nginx/fpm.conf" <<FPM
[global]
pid = $work/nginx/fpm.pid
error_log = $work/nginx/fpm.log
daemonize = no
[trackwire]
user = $(id -un)
group = $(id -gn)
listen = $work/nginx/fpm.sock
listen.mode = 0666
pm = static
pm.max_children = 2
FPM
  cat >"$work/nginx/nginx.conf" <<NGINX
daemon off;
user $(id -un);
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log $work/nginx/access.log;
  client_body_temp_path $work/nginx/body;
  fastcgi_temp_path $work/nginx/fastcgi;
  proxy_temp_path $work/nginx/proxy;
  server {
    listen 127.0.0.1:$nginx_port;
    root $repo/examples/server;
    location = /set_current_song.php {
      include /etc/nginx/snippets/fastcgi-php.conf;
      fastcgi_pass unix:$work/nginx/fpm.sock;
      fastcgi_ignore_client_abort on;
      fastcgi_param TRACKWIRE_SONG_FILE $work/data/nginx.json;
    }
  }
}
NGINX
  $([ "$(id -u)" = 0 ] && echo "$fpm -R" || echo "$fpm") -y "$work/nginx/fpm.conf" \
    >/dev/null 2>&1 &
  fpm_pid=$!
  nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" >/dev/null 2>&1 &
  nginx_pid=$!
  for _ in $(seq 50); do
    [ -S "$work/nginx/fpm.sock" ] &&
      php -r 'exit(@fsockopen("127.0.0.1", (int)$argv[1]) ? 0 : 1);' "$nginx_port" && break
    sleep 0.1
  done
  stored=0
  for i in $(seq 20); do
    php "$work/client.php" "$nginx_port" GET "/set_current_song.php?artist=N&album=G&title=Report%20$i" close >/dev/null
    for _ in $(seq 20); do
      [ "$(php -r '$s = json_decode((string)@file_get_contents($argv[1]), true);
        echo $s["title"] ?? "";' "$work/data/nginx.json")" = "Report $i" ] &&
        { stored=$((stored + 1)); break; }
      sleep 0.05
    done
  done
  check "nginx with fastcgi_ignore_client_abort stores every report" 20 "$stored"
  # Without the setting nginx gives up on each request (499) when the client
  # has gone, and whether PHP has stored the song by then is luck.
  check "nginx waited for PHP on every report" 20 \
    "$(awk '$9 == 204' "$work/nginx/access.log" | wc -l)"
  kill "$nginx_pid" "$fpm_pid" 2>/dev/null
  wait "$nginx_pid" "$fpm_pid" 2>/dev/null
else
  check "nginx and php8.2-fpm installed (tools/install-deps.sh)" yes no
fi
checks_summary
