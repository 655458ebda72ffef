#pragma once

#include <string>
#include <string_view>

#include "receiver/song_text.h"

namespace receiver {

// & < > " ' as entities, the way htmlspecialchars does with ENT_QUOTES.
std::string HtmlEscape(std::string_view text);

// The now-playing page with the song (or "Nothing yet") in it; `overlay`
// makes the background transparent, for a browser source. The page follows
// /events and falls back to polling /now_playing.json.
std::string PageHtml(const Song* song, bool overlay);

}  // namespace receiver
