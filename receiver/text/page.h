#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "receiver/text/song_text.h"

namespace receiver {

// The longest an overlay shows a new song before fading it out: an hour.
constexpr int kMaxHideSeconds = 3600;

// & < > " ' as entities, the way htmlspecialchars does with ENT_QUOTES.
std::string HtmlEscape(std::string_view text);

// The query's `hide` value when it is a whole number of seconds from 1 to
// kMaxHideSeconds in digits only; nothing for any other value or none.
std::optional<int> HideSeconds(std::string_view query);

// The now-playing page with the song (or "Nothing yet") in it. `overlay`
// makes the background transparent and drops the time stamp, for a browser
// source; with `hide_seconds` the overlay fades each new song out after that
// long (the page at / ignores it). The page follows /events, falls back to
// polling /now_playing.json, and keeps the last song while the receiver is
// away. Stable class names for styling: now-playing (the box), cover (the
// song's cover from /cover.jpg, beside the text, not displayed while there
// is none or it does not load), text (the block beside it), title, artist,
// album; the box has "faded" too while a song is faded out, and while the
// receiver is idle. The page at / lists the songs before it from
// /history.json.
std::string PageHtml(const Song* song, bool overlay,
                     std::optional<int> hide_seconds = std::nullopt,
                     bool idle = false);

// The page that a GET of / with this query gets: overlay when the query names
// "overlay", fading after HideSeconds(query).
std::string PageForQuery(const Song* song, std::string_view query,
                         bool idle = false);

}  // namespace receiver
