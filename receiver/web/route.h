#pragma once

#include <string_view>

namespace receiver {

enum class Route {
  kReport,
  kPage,
  kSongJson,
  kEvents,
  kChat,
  kHistory,
  kCover,
  kUserStyle,
  kLyrics,      // the lyrics' page
  kLyricsJson,  // what it shows
  kControl,     // the control page
  kControlApi,  // its calls, /control/api/NAME
  kNotFound
};

// The receiver's paths; the query is not part of `path`.
Route RouteFor(std::string_view path);

// GET and HEAD are the only methods any path takes.
bool IsAllowedMethod(std::string_view method);

}  // namespace receiver
