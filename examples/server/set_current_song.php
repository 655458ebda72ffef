<?php
// Takes one report from the plug-in:
//   GET /set_current_song.php?artist=..&album=..&title=..
// in the player's code page, or with charset=utf-8 in the query in UTF-8;
// stores it as the latest song and answers 204 No Content. The plug-in
// closes the connection right after sending and never reads this answer.
// With TRACKWIRE_KEY set, a report must also carry key=<that value>.
declare(strict_types=1);
require __DIR__ . '/song_store.php';

// Only GET stores a song; HEAD must change nothing, so it is refused too.
$method = $_SERVER['REQUEST_METHOD'] ?? 'GET';
if ($method !== 'GET') {
    header('Allow: GET');
    http_response_code(405);
    exit;
}

function refuse(int $status, string $reason): never
{
    header('Content-Type: text/plain; charset=utf-8');
    http_response_code($status);
    echo $reason, "\n";
    exit;
}

$query = $_SERVER['QUERY_STRING'] ?? '';
$key = server_setting('TRACKWIRE_KEY');
if ($key !== null) {
    $given = query_values($query, ['key'])['key'] ?? '';
    if (!hash_equals($key, $given)) {
        refuse(403, 'a report needs the key of this receiver in its query');
    }
}

$values = query_values($query, ['artist', 'album', 'title']);
if ($values === []) {
    refuse(400, 'expected artist, album and title in the query');
}

$utf8 = says_utf8($query);
$song = [
    'artist' => to_clean_utf8($values['artist'] ?? '', $utf8),
    'album' => to_clean_utf8($values['album'] ?? '', $utf8),
    'title' => to_clean_utf8($values['title'] ?? '', $utf8),
    'received' => gmdate('Y-m-d\TH:i:s\Z'),
];
if (!store_song($song)) {
    error_log('set_current_song: cannot write ' . song_file());
    http_response_code(500);
    exit;
}
http_response_code(204);
