<?php
// A page elsewhere (served as http://evil.test) that tries to make the
// browser store a song on the receiver, for receiver_browser_test.sh:
// <img>, no-cors fetch and a form, at each address in ?targets=, with a
// Referer or (with &referrer=no) without. It shows how each fetch ended:
// "reached" means the receiver answered, whatever it answered.
$targets = array_filter(explode(',', (string)($_GET['targets'] ?? '')));
$no_referrer = ($_GET['referrer'] ?? '') === 'no';
$report = '/set_current_song.php?artist=Evil&album=Page&title=';
?><!DOCTYPE html>
<html><head><meta charset="utf-8">
<?php if ($no_referrer) echo '<meta name="referrer" content="no-referrer">', "\n"; ?>
</head><body>
<?php foreach ($targets as $i => $base): ?>
<img src="<?= htmlspecialchars("$base{$report}img$i") ?>">
<iframe name="frame<?= $i ?>"></iframe>
<form target="frame<?= $i ?>" method="get" action="<?= htmlspecialchars("$base/set_current_song.php") ?>">
<input name="artist" value="Evil"><input name="album" value="Form">
<input name="title" value="form<?= $i ?>"></form>
<?php endforeach; ?>
<pre id="results"></pre>
<script>
  const targets = <?= json_encode(array_values($targets)) ?>;
  document.querySelectorAll('form').forEach((form) => form.submit());
  Promise.all(targets.map((base, i) =>
    fetch(base + <?= json_encode($report) ?> + 'fetch' + i, {mode: 'no-cors'})
      .then(() => base + ' reached', () => base + ' failed')))
    .then((lines) => { document.getElementById('results').textContent = lines.join('\n'); });
</script>
</body></html>
