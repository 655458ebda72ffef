#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "receiver/songs/song_text.h"
#include "receiver/web/html.h"

namespace receiver {

// The longest an overlay shows a new song before fading it out: an hour.
constexpr int kMaxHideSeconds = 3600;
// A fixed overlay width, in CSS pixels.
constexpr int kMinOverlayWidth = 200;
constexpr int kMaxOverlayWidth = 3840;

// The query's `hide` value when it is a whole number of seconds from 1 to
// kMaxHideSeconds in digits only; nothing for any other value or none.
std::optional<int> HideSeconds(std::string_view query);

enum class Theme { kDark, kLight, kClear };

// How the page shows: the page at /, or with `overlay` the transparent one
// for a browser source, which alone takes the other switches.
struct PageSwitches {
  bool overlay = false;
  std::optional<int> hide_seconds;  // fade each new song out after that long
  Theme theme = Theme::kDark;       // clear: text with a shadow, no box
  bool align_right = false;
  std::optional<int> width;  // the box keeps this width from song to song
  bool scroll = false;       // a line too long for the box scrolls
  bool cover = true;
  bool progress = false;  // a bar from the song's start to its length
};

// The switches of a GET of / with this query: overlay, hide=N,
// theme=dark|light|clear, align=left|right, width=N, scroll=1, cover=0,
// progress=1. A value that is not one of these leaves its default.
PageSwitches SwitchesForQuery(std::string_view query);

// The now-playing page with the song (or "Nothing yet") in it. The page
// follows /events, falls back to polling /now_playing.json, keeps the last
// song while the receiver is away, and takes the song folder's overlay.css
// (/overlay.css) after its own style, again whenever it changes. Stable
// class names for styling: now-playing (the box), cover, text (the block
// beside it), label, title, artist, album, received, history; the box has
// "faded" too while a song is faded out, and while the receiver is idle;
// the body has overlay, theme-dark, theme-light or theme-clear,
// align-left or align-right, fixed-width, scroll, no-cover and progress as
// switched; with progress, progress-bar and progress-fill under the album
// for a song whose length is known.
// The page at / lists the songs before it from /history.json.
std::string PageHtml(const Song* song, const PageSwitches& switches,
                     bool idle = false);

// The page that a GET of / with this query gets.
std::string PageForQuery(const Song* song, std::string_view query,
                         bool idle = false);

}  // namespace receiver
