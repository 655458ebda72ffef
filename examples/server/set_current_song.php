<?php
// Takes one report from the plug-in:
//   GET /set_current_song.php?artist=..&album=..&title=..
// stores it as the latest song and answers 204 No Content. The plug-in
// closes the connection right after sending and never reads this answer.
declare(strict_types=1);
require __DIR__ . '/song_store.php';

$method = $_SERVER['REQUEST_METHOD'] ?? 'GET';
if ($method !== 'GET' && $method !== 'HEAD') {
    header('Allow: GET, HEAD');
    http_response_code(405);
    exit;
}

$values = query_values($_SERVER['QUERY_STRING'] ?? '', ['artist', 'album', 'title']);
if ($values === []) {
    header('Content-Type: text/plain; charset=utf-8');
    http_response_code(400);
    echo "expected artist, album and title in the query\n";
    exit;
}

$song = [
    'artist' => to_clean_utf8($values['artist'] ?? ''),
    'album' => to_clean_utf8($values['album'] ?? ''),
    'title' => to_clean_utf8($values['title'] ?? ''),
    'received' => gmdate('Y-m-d\TH:i:s\Z'),
];
if (!store_song($song)) {
    error_log('set_current_song: cannot write ' . song_file());
    http_response_code(500);
    exit;
}
http_response_code(204);
