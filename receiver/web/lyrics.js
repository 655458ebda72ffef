// Lines arrive as text and are set as text, never as markup.
const box = document.getElementById('lyrics-box');
const current = document.getElementById('current');
const next = document.getElementById('next');
const plain = document.getElementById('plain');
let lines = [];
// performance.now(), in seconds, when the lyrics' clock stood at 0.
let zero = 0;
let lineTimer = null;
let asked = 0;
// The index of the line sung `at` seconds into the lyrics; -1 before the
// first.
function lineAt(at) {
  let low = 0;
  let high = lines.length;
  while (low < high) {
    const middle = (low + high) >> 1;
    if (lines[middle].time <= at) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low - 1;
}
// The line now and the next; then a wait until the next one is due.
function settle() {
  clearTimeout(lineTimer);
  lineTimer = null;
  const at = performance.now() / 1000 - zero;
  const index = lineAt(at);
  current.textContent = index >= 0 ? lines[index].text : '';
  next.textContent = index + 1 < lines.length ? lines[index + 1].text : '';
  box.classList.toggle('empty', !current.textContent && !next.textContent);
  if (index + 1 < lines.length) {
    lineTimer = setTimeout(settle, Math.max(0, (lines[index + 1].time - at) * 1000) + 1);
  }
}
function show(lyrics, answeredAt) {
  clearTimeout(lineTimer);
  lines = [];
  current.textContent = next.textContent = plain.textContent = '';
  const synced = lyrics.kind === 'synced' && Array.isArray(lyrics.lines);
  current.hidden = next.hidden = !synced;
  if (synced) {
    lines = lyrics.lines
      .filter((line) => line && typeof line.time === 'number')
      .map((line) => ({time: line.time, text: String(line.text ?? '')}));
    zero = answeredAt - (Number(lyrics.elapsed) || 0);
    settle();
    return;
  }
  // Plain lyrics show whole; an instrumental, or none, shows nothing.
  if (lyrics.kind === 'plain') plain.textContent = String(lyrics.plain ?? '');
  box.classList.toggle('empty', !plain.textContent);
}
async function fetchLyrics() {
  const ask = ++asked;
  try {
    const start = performance.now();
    const response = await fetch('/lyrics.json', {cache: 'no-store'});
    // The answer's clock is of a moment between the ask and its head.
    const answeredAt = (start + performance.now()) / 2000;
    if (!response.ok) return;
    const lyrics = await response.json();
    if (ask === asked && lyrics && typeof lyrics === 'object') show(lyrics, answeredAt);
  } catch (error) {
    // Keep the lines and their time while the receiver is away.
  }
}
function reloadUserStyle() {
  const link = document.getElementById('user-style');
  if (link) link.href = '/overlay.css?' + Date.now();
}
let pollTimer = null;
function startPolling() {
  if (pollTimer === null) pollTimer = setInterval(fetchLyrics, 3000);
}
function stopPolling() {
  if (pollTimer !== null) clearInterval(pollTimer);
  pollTimer = null;
}
function follow() {
  const events = new EventSource('/events');
  events.addEventListener('lyrics', fetchLyrics);
  events.addEventListener('style', reloadUserStyle);
  events.onopen = () => {
    stopPolling();
    fetchLyrics();
  };
  events.onerror = () => {
    startPolling();
    if (events.readyState === EventSource.CLOSED) setTimeout(follow, 3000);
  };
}
fetchLyrics();
if (window.EventSource) {
  follow();
} else {
  startPolling();
}
