#include "receiver/web/route.h"

namespace receiver {

Route RouteFor(std::string_view path) {
  if (path == "/set_current_song.php") return Route::kReport;
  if (path == "/") return Route::kPage;
  if (path == "/now_playing.json") return Route::kSongJson;
  if (path == "/events") return Route::kEvents;
  if (path == "/song") return Route::kChat;
  if (path == "/history.json") return Route::kHistory;
  if (path == "/cover.jpg") return Route::kCover;
  if (path == "/overlay.css") return Route::kUserStyle;
  if (path == "/lyrics") return Route::kLyrics;
  if (path == "/lyrics.json") return Route::kLyricsJson;
  if (path == "/control") return Route::kControl;
  if (path.substr(0, 13) == "/control/api/") return Route::kControlApi;
  return Route::kNotFound;
}

bool IsAllowedMethod(std::string_view method) {
  return method == "GET" || method == "HEAD";
}

}  // namespace receiver
