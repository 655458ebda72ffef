#include "receiver/page.h"

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
)";

constexpr std::string_view kScript = R"(<script>
  // Songs arrive as text and are set as text, never as markup.
  function show(song) {
    if (!song) return;
    for (const key of ['title', 'artist', 'album']) {
      document.getElementById(key).textContent = song[key];
    }
    document.getElementById('received').textContent = 'received ' + song.received;
  }
  let timer = null;
  async function poll() {
    try {
      const response = await fetch('/now_playing.json', {cache: 'no-store'});
      show(await response.json());
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
  if (window.EventSource) {
    const events = new EventSource('/events');
    events.onmessage = (event) => show(JSON.parse(event.data));
    events.onopen = stopPolling;
    events.onerror = startPolling;
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

std::string PageHtml(const Song* song, bool overlay) {
  std::string out(kHead);
  out += overlay ? "<body class=\"overlay\">\n" : "<body>\n";
  out += "<div class=\"card\">\n  <div class=\"label\">Now playing</div>\n";
  AppendDiv(out, "title", song ? song->title : "Nothing yet");
  AppendDiv(out, "artist", song ? song->artist : "");
  AppendDiv(out, "album", song ? song->album : "");
  AppendDiv(out, "received", song ? "received " + song->received : "");
  out += "</div>\n";
  out += kScript;
  return out;
}

}  // namespace receiver
