#include "receiver/text/page.h"

#include "receiver/text/query.h"

namespace receiver {

namespace {

constexpr std::string_view kHead = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Now playing</title>
<style>
  body { margin: 0; font-family: "DejaVu Sans", Verdana, sans-serif; color: #f4f4f4;
         background: #1d2330; }
  body.overlay { background: transparent; }
  .now-playing { display: inline-flex; align-items: center; margin: 24px; padding: 18px 26px; border-radius: 12px;
                 background: rgba(20, 24, 34, 0.85); border-left: 6px solid #4fb3ff;
                 min-width: 420px; opacity: 1; transition: opacity 0.8s ease-in-out; }
  .now-playing.faded { opacity: 0; }
  .cover { flex: none; width: 108px; height: 108px; margin-right: 20px; border-radius: 6px;
           object-fit: cover; }
  .cover[hidden] { display: none; }
  body:not(.overlay) .cover { width: 130px; height: 130px; }
  .label { font-size: 13px; letter-spacing: 2px; text-transform: uppercase; color: #8fc9ff; }
  .title { font-size: 30px; font-weight: bold; margin: 6px 0 4px; }
  .artist { font-size: 20px; }
  .album { font-size: 16px; color: #b8c2d4; font-style: italic; }
  .received { font-size: 11px; color: #7d879a; margin-top: 10px; }
  .history { margin: 0 24px; padding: 0 0 0 26px; color: #b8c2d4; font-size: 14px; }
  .history li { margin: 3px 0; }
</style>
</head>
)";

// Before it the page writes "const hideSeconds = N;" (0: never fade).
constexpr std::string_view kScript = R"(
  // Songs arrive as text and are set as text, never as markup.
  const box = document.getElementById('now-playing');
  const received = document.getElementById('received');
  const cover = document.getElementById('cover');
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
    if (received) received.textContent = 'received ' + localTime(song.received ?? '');
    box.classList.remove('faded');
    fadeLater();
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
</script>
</body>
</html>
)";

void AppendDiv(std::string& out, std::string_view name, std::string_view text) {
  out += "  <div class=\"";
  out += name;
  out += "\" id=\"";
  out += name;
  out += "\">";
  out += HtmlEscape(text);
  out += "</div>\n";
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::optional<int> HideSeconds(std::string_view query) {
  const std::optional<std::string> value = QueryValue(query, "hide");
  if (!value || value->empty()) return std::nullopt;
  int seconds = 0;
  for (const char c : *value) {
    if (c < '0' || c > '9') return std::nullopt;
    seconds = seconds * 10 + (c - '0');
    if (seconds > kMaxHideSeconds) return std::nullopt;
  }
  if (seconds == 0) return std::nullopt;
  return seconds;
}

std::string PageHtml(const Song* song, bool overlay,
                     std::optional<int> hide_seconds, bool idle) {
  std::string out(kHead);
  out += overlay ? "<body class=\"overlay\">\n" : "<body>\n";
  out += "<div class=\"now-playing\" id=\"now-playing\"";
  out += idle ? " data-idle=\"1\">\n" : ">\n";
  // Hidden until the script sees it loaded.
  out += "  <img class=\"cover\" id=\"cover\" alt=\"\"";
  if (song && !song->cover.empty()) {
    out += " src=\"/cover.jpg?" + HtmlEscape(song->cover) + "\"";
  }
  out += " hidden>\n";
  out += "  <div class=\"text\">\n";
  out += "  <div class=\"label\">Now playing</div>\n";
  AppendDiv(out, "title", song ? song->title : "Nothing yet");
  AppendDiv(out, "artist", song ? song->artist : "");
  AppendDiv(out, "album", song ? song->album : "");
  if (!overlay) {
    const std::string utc = HtmlEscape(song ? song->received : "");
    out += "  <div class=\"received\" id=\"received\" data-utc=\"" + utc +
           "\">" + (song ? "received " + utc : "") + "</div>\n";
  }
  out += "  </div>\n</div>\n";
  if (!overlay) out += "<ol class=\"history\" id=\"history\"></ol>\n";
  out += "<script>\n  const hideSeconds = ";
  // Only numbers that HideSeconds accepts reach the script.
  const bool fades = overlay && hide_seconds && *hide_seconds > 0 &&
                     *hide_seconds <= kMaxHideSeconds;
  out += std::to_string(fades ? *hide_seconds : 0);
  out += ";";
  out += kScript;
  return out;
}

std::string PageForQuery(const Song* song, std::string_view query, bool idle) {
  return PageHtml(song, HasQueryName(query, "overlay"), HideSeconds(query),
                  idle);
}

}  // namespace receiver
