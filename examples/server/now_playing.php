<?php
// Shows the latest song and keeps itself up to date; every value is escaped.
//   now_playing.php            the page
//   now_playing.php?overlay=1  transparent background, for a stream overlay
//   now_playing.php?json=1     the song as JSON, which the page polls
declare(strict_types=1);
require __DIR__ . '/song_store.php';

$song = load_song();

if (isset($_GET['json'])) {
    header('Content-Type: application/json; charset=utf-8');
    header('Cache-Control: no-store');
    echo json_encode($song, JSON_UNESCAPED_UNICODE | JSON_INVALID_UTF8_SUBSTITUTE), "\n";
    exit;
}

function h(string $text): string
{
    return htmlspecialchars($text, ENT_QUOTES | ENT_SUBSTITUTE | ENT_HTML5, 'UTF-8');
}

$overlay = isset($_GET['overlay']);
header('Content-Type: text/html; charset=utf-8');
header('Cache-Control: no-store');
?>
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<noscript><meta http-equiv="refresh" content="5"></noscript>
<title>Now playing</title>
<style>
  body { margin: 0; font-family: "DejaVu Sans", Verdana, sans-serif; color: #f4f4f4;
         background: #1d2330; }
  body.overlay { background: transparent; }
  .card { display: inline-block; margin: 24px; padding: 18px 26px; border-radius: 12px;
          background: rgba(20, 24, 34, 0.85); border-left: 6px solid #4fb3ff;
          min-width: 420px; }
  .label { font-size: 13px; letter-spacing: 2px; text-transform: uppercase; color: #8fc9ff; }
  .title { font-size: 30px; font-weight: bold; margin: 6px 0 4px; }
  .artist { font-size: 20px; }
  .album { font-size: 16px; color: #b8c2d4; font-style: italic; }
  .received { font-size: 11px; color: #7d879a; margin-top: 10px; }
</style>
</head>
<body class="<?= $overlay ? 'overlay' : '' ?>">
<div class="card">
  <div class="label">Now playing</div>
  <div class="title" id="title"><?= h($song['title'] ?? 'Nothing yet') ?></div>
  <div class="artist" id="artist"><?= h($song['artist'] ?? '') ?></div>
  <div class="album" id="album"><?= h($song['album'] ?? '') ?></div>
  <div class="received" id="received"><?= h($song !== null ? 'received ' . $song['received'] : '') ?></div>
</div>
<script>
  // Polls the song and sets it as text, never as markup.
  async function refresh() {
    try {
      const response = await fetch('now_playing.php?json=1', {cache: 'no-store'});
      const song = await response.json();
      if (song) {
        for (const key of ['title', 'artist', 'album']) {
          document.getElementById(key).textContent = song[key];
        }
        document.getElementById('received').textContent = 'received ' + song.received;
      }
    } catch (error) {
      // Keep showing the last song while the server is away.
    }
  }
  setInterval(refresh, 3000);
</script>
</body>
</html>
