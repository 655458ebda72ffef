<?php
// Stands in for the receiver's HTTP side in the overlay's browser test, under
// PHP's built-in server: / is the page that page_print makes for the query
// (with the test's observer added), /events and /now_playing.json follow a
// song file that the test rewrites (its "cover" as the event has it,
// /cover.jpg?KEY), /cover.jpg is the image OVERLAY_COVER while it exists,
// /history.json is OVERLAY_HISTORY, and /observe logs what the observer saw.
// Environment: OVERLAY_PAGE_PRINT, OVERLAY_SONG, OVERLAY_LOG. With
// OVERLAY_RECEIVER (HOST:PORT) it passes /, /events and /now_playing.json
// through to that receiver instead, adding only the observer to the page.
$song_file = getenv('OVERLAY_SONG');
$log = getenv('OVERLAY_LOG');
$receiver = getenv('OVERLAY_RECEIVER');

// GET of a receiver path: the connection, after the answer's head.
function receiver_get($receiver, $target) {
  [$host, $port] = explode(':', $receiver);
  $stream = @fsockopen($host, (int)$port, $errno, $error, 5);
  if ($stream === false) return false;
  fwrite($stream, "GET $target HTTP/1.1\r\nHost: $receiver\r\nConnection: close\r\n\r\n");
  while (($line = fgets($stream)) !== false && trim($line) !== '') {
  }
  return $stream;
}

function with_observer($page) {
  $observer = file_get_contents(__DIR__ . '/overlay_observer.js');
  return str_replace("</body>", "<script>\n$observer</script>\n</body>", $page);
}

function current_song($file) {
  $song = json_decode((string)@file_get_contents($file), true);
  return is_array($song) ? $song : null;
}

$path = parse_url($_SERVER['REQUEST_URI'], PHP_URL_PATH);
$query = (string)parse_url($_SERVER['REQUEST_URI'], PHP_URL_QUERY);
if ($receiver !== false && $path !== '/observe') {
  $stream = receiver_get($receiver, $_SERVER['REQUEST_URI']);
  if ($stream === false) {
    http_response_code(502);
    exit;
  }
  header('Cache-Control: no-store');
  if ($path === '/') {
    header('Content-Type: text/html; charset=utf-8');
    echo with_observer(stream_get_contents($stream));
    exit;
  }
  header($path === '/events' ? 'Content-Type: text/event-stream; charset=utf-8'
                             : 'Content-Type: application/json; charset=utf-8');
  while (ob_get_level() > 0) ob_end_flush();
  while (!connection_aborted() && ($line = fgets($stream)) !== false) {
    echo $line;
    flush();
  }
} elseif ($path === '/') {
  $arguments = [getenv('OVERLAY_PAGE_PRINT'), $query];
  $song = current_song($song_file);
  if ($song !== null) {
    array_push($arguments, $song['artist'], $song['album'], $song['title'],
               $song['received']);
    if (isset($song['cover'])) {
      $arguments[] = (string)substr($song['cover'], strlen('/cover.jpg?'));
    }
  }
  $page = (string)shell_exec(implode(' ', array_map('escapeshellarg', $arguments)));
  header('Content-Type: text/html; charset=utf-8');
  echo with_observer($page);
} elseif ($path === '/now_playing.json') {
  header('Content-Type: application/json; charset=utf-8');
  header('Cache-Control: no-store');
  echo json_encode(current_song($song_file)), "\n";
} elseif ($path === '/events') {
  file_put_contents("$log.events", "connected\n", FILE_APPEND | LOCK_EX);
  header('Content-Type: text/event-stream; charset=utf-8');
  header('Cache-Control: no-store');
  // php.ini may buffer output, which would hold the events back.
  while (ob_get_level() > 0) ob_end_flush();
  echo "retry: 1000\n\n";
  $sent = null;
  // A minute at most; a test that takes longer has failed anyway.
  for ($tick = 0; $tick < 600 && !connection_aborted(); ++$tick) {
    $text = (string)@file_get_contents($song_file);
    $song = json_decode($text, true);
    if ($text !== $sent && is_array($song)) {
      $sent = $text;
      echo 'data: ', json_encode($song), "\n\n";
    } elseif ($tick % 10 === 0) {
      echo ": ping\n\n";
    }
    flush();
    usleep(100000);
  }
} elseif ($path === '/cover.jpg' && is_file((string)getenv('OVERLAY_COVER'))) {
  header('Content-Type: image/png');
  header('Cache-Control: no-cache');
  readfile(getenv('OVERLAY_COVER'));
} elseif ($path === '/history.json' && getenv('OVERLAY_HISTORY') !== false) {
  header('Content-Type: application/json; charset=utf-8');
  header('Cache-Control: no-store');
  readfile(getenv('OVERLAY_HISTORY'));
} elseif ($path === '/observe') {
  $line = json_encode([(int)($_GET['at'] ?? 0), (string)($_GET['opacity'] ?? ''),
                       explode("\n", (string)($_GET['states'] ?? '')),
                       (string)($_GET['history'] ?? ''),
                       (string)($_GET['cover'] ?? ''),
                       (string)($_GET['sizes'] ?? '')]);
  file_put_contents($log, "$line\n", FILE_APPEND | LOCK_EX);
  http_response_code(204);
} else {
  http_response_code(404);
}
