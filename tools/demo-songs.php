<?php
// Helper of tools/demo.sh, one line per song: "artist | album | title".
//   php demo-songs.php expect PLAYLIST [SECONDS]  first the playlist's length
//       in seconds (with the simulator's start delay), then each track as
//       the receiver should store it
//   php demo-songs.php show SONG_FILE             the song the receiver stored
declare(strict_types=1);

const START_DELAY = 5;

function expect(string $playlist, ?int $override): int
{
    $lines = @file($playlist, FILE_IGNORE_NEW_LINES);
    if ($lines === false) {
        return 1;
    }
    $total = START_DELAY + 2;
    $songs = [];
    foreach ($lines as $line) {
        $line = rtrim(preg_replace('/^\xEF\xBB\xBF/', '', $line), "\r");
        if ($line === '' || $line[0] === '#') {
            continue;
        }
        $fields = explode("\t", $line);
        if (count($fields) === 2 && $fields[0] === 'pause') {
            $total += (int)$fields[1];
            continue;
        }
        [$artist, $album, $title] = $fields;
        $total += $override ?? (int)($fields[3] ?? 3);
        // The plug-in drops a leading "artist - " from the title.
        if (str_starts_with($title, $artist . ' - ')) {
            $title = substr($title, strlen($artist) + 3);
        }
        $songs[] = trim($artist) . ' | ' . trim($album) . ' | ' . trim($title);
    }
    echo $total, "\n", implode("\n", $songs), "\n";
    return 0;
}

function show(string $file): int
{
    $song = json_decode((string)@file_get_contents($file), true);
    if (!is_array($song)) {
        return 0;
    }
    echo ($song['artist'] ?? ''), ' | ', ($song['album'] ?? ''), ' | ', ($song['title'] ?? ''), "\n";
    return 0;
}

$mode = $argv[1] ?? '';
if ($mode === 'expect' && isset($argv[2])) {
    exit(expect($argv[2], isset($argv[3]) ? (int)$argv[3] : null));
}
if ($mode === 'show' && isset($argv[2])) {
    exit(show($argv[2]));
}
fwrite(STDERR, "usage: demo-songs.php expect PLAYLIST [SECONDS] | show SONG_FILE\n");
exit(2);
