#pragma once

#include <string>
#include <string_view>

namespace receiver {

// The lyrics' page for a browser source (GET /lyrics): the line being sung
// and the next, or plain lyrics whole, from /lyrics.json, again at each
// "lyrics" event of /events; it keeps time by itself in between. It takes
// the overlay's theme=dark|light|clear, align=left|right and width=N.
// Stable class names: lyrics-box (the box; "empty" is added while there is
// nothing to show), current, next, plain; on the body lyrics, theme-...,
// align-... and fixed-width.
std::string LyricsPageForQuery(std::string_view query);

}  // namespace receiver
