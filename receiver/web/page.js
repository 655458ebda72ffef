// Songs arrive as text and are set as text, never as markup.
const box = document.getElementById('now-playing');
const received = document.getElementById('received');
const cover = document.getElementById('cover');
// 0: never fade.
const hideSeconds = Number(document.body.dataset.hide ?? 0) || 0;
const scrolls = document.body.classList.contains('scroll');
const progress = document.getElementById('progress');
const progressFill = document.getElementById('progress-fill');
let progressTimer = null;
let coverUrl = cover.getAttribute('src') ?? '';
let shown = null;
let fadeTimer = null;
// The cover shows once it has loaded: no empty box, no broken image.
function settleCover() {
  cover.hidden = !(coverUrl && cover.complete && cover.naturalWidth > 0);
}
cover.addEventListener('load', settleCover);
cover.addEventListener('error', settleCover);
settleCover();
function coverFor(song) {
  const value = typeof song.cover === 'string' ? song.cover : '';
  if (value.startsWith('/cover.jpg?')) return value;
  // now_playing.json names only the file.
  return value ? '/cover.jpg?' + encodeURIComponent(String(song.received ?? '')) : '';
}
function showCover(url) {
  if (url === coverUrl) return;
  coverUrl = url;
  cover.hidden = true;
  if (url) {
    cover.src = url;
  } else {
    cover.removeAttribute('src');
  }
}
// scroll=1: a line longer than its box moves by what it lacks, at about
// 40 pixels a second.
function settleScrolling() {
  if (!scrolls) return;
  for (const name of ['title', 'artist', 'album']) {
    const line = document.getElementById(name);
    line.classList.remove('moving');
    const lacking = line.scrollWidth - line.clientWidth;
    if (lacking <= 0) continue;
    const rtl = getComputedStyle(line).direction === 'rtl';
    line.style.setProperty('--scroll-by', (rtl ? lacking : -lacking) + 'px');
    line.style.setProperty('--scroll-time', Math.max(4, lacking / 40) + 's');
    line.classList.add('moving');
  }
}
// progress=1: the bar fills from the song's start (its report, less the
// plug-in's one-second check) to its length, by this PC's clock.
function showProgress(song) {
  if (!progress) return;
  const length = Number(song.length) || 0;
  const start = Date.parse(song.received ?? '') - 1000;
  clearInterval(progressTimer);
  progressTimer = null;
  progress.hidden = length <= 0 || isNaN(start) || Boolean(song.idle);
  if (progress.hidden) return;
  const fill = () => {
    const done = Math.min(1, Math.max(0, (Date.now() - start) / 1000 / length));
    progressFill.style.transform = `scaleX(${done})`;
    if (done >= 1) clearInterval(progressTimer);
  };
  fill();
  progressTimer = setInterval(fill, 250);
}
function localTime(utc) {
  const time = new Date(utc);
  return isNaN(time.getTime()) ? utc : time.toLocaleString();
}
function fadeLater() {
  if (hideSeconds <= 0) return;
  clearTimeout(fadeTimer);
  fadeTimer = setTimeout(() => box.classList.add('faded'), hideSeconds * 1000);
}
const history = document.getElementById('history');
async function showHistory() {
  if (!history) return;
  try {
    const response = await fetch('/history.json', {cache: 'no-store'});
    if (!response.ok) return;
    const songs = await response.json();
    if (!Array.isArray(songs)) return;
    history.replaceChildren();
    // The first is the song on show.
    for (const song of songs.slice(1, 6)) {
      const item = document.createElement('li');
      item.dir = 'auto';
      const parts = [song.artist, song.title].filter((part) => part);
      item.textContent = String(song.time ?? '').slice(11, 16) + '  ' + parts.join(' - ');
      history.append(item);
    }
  } catch (error) {
    // The list waits for the next song.
  }
}
function show(song) {
  if (!song || typeof song !== 'object') return;
  // A cover found later comes with the same song again.
  showCover(coverFor(song));
  // So does a length.
  showProgress(song);
  // After a reconnection the receiver sends its song again: not a new one.
  const key = JSON.stringify([song.received, song.artist, song.album, song.title, song.idle]);
  if (key === shown) return;
  shown = key;
  if (song.idle) {
    clearTimeout(fadeTimer);
    box.classList.add('faded');
    return;
  }
  showHistory();
  for (const name of ['title', 'artist', 'album']) {
    document.getElementById(name).textContent = song[name] ?? '';
  }
  settleScrolling();
  if (received) received.textContent = 'received ' + localTime(song.received ?? '');
  box.classList.remove('faded');
  fadeLater();
}
// The user's overlay.css, asked for again whenever it changes.
function reloadUserStyle() {
  const link = document.getElementById('user-style');
  if (link) link.href = '/overlay.css?' + Date.now();
}
if (received && received.dataset.utc) {
  received.textContent = 'received ' + localTime(received.dataset.utc);
}
if (box.dataset.idle) {
  box.classList.add('faded');
} else {
  fadeLater();
}
showHistory();
if (document.fonts) document.fonts.ready.then(settleScrolling);
settleScrolling();
let timer = null;
async function poll() {
  try {
    const response = await fetch('/now_playing.json', {cache: 'no-store'});
    if (response.ok) show(await response.json());
  } catch (error) {
    // Keep showing the last song while the receiver is away.
  }
}
function startPolling() {
  if (timer === null) timer = setInterval(poll, 3000);
}
function stopPolling() {
  if (timer !== null) clearInterval(timer);
  timer = null;
}
function follow() {
  const events = new EventSource('/events');
  events.onmessage = (event) => {
    try {
      show(JSON.parse(event.data));
    } catch (error) {
      // Not a song: wait for the next one.
    }
  };
  events.addEventListener('style', reloadUserStyle);
  events.onopen = stopPolling;
  events.onerror = () => {
    startPolling();
    // The browser retries by itself unless it gave up on the stream.
    if (events.readyState === EventSource.CLOSED) setTimeout(follow, 3000);
  };
}
if (window.EventSource) {
  follow();
} else {
  startPolling();
}
