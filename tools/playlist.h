#pragma once

#include <optional>
#include <string>
#include <vector>

// The player simulator's playlist file: UTF-8 text (a byte-order mark is
// skipped), one entry a line, fields separated by tabs:
//
//   artist <TAB> album <TAB> playlist title [<TAB> seconds]
//   pause <TAB> seconds
//
// A track line plays for `seconds` (whole number, 1 to 86400; 3 when left
// out). A pause line holds the current track paused for that long. Empty
// lines and lines starting with '#' are skipped; CR LF and LF both end lines.
namespace player_sim {

struct PlaylistEntry {
  bool is_pause = false;
  std::string artist;  // UTF-8
  std::string album;
  std::string title;  // as the playlist shows it, e.g. "Artist - Title"
  int seconds = 0;
};

constexpr int kDefaultSeconds = 3;
constexpr int kMaxSeconds = 86400;

// Parses a whole playlist file. On failure returns nothing and sets `error`
// to a message naming the line.
std::optional<std::vector<PlaylistEntry>> ParsePlaylist(const std::string& text,
                                                        std::string& error);

// Parses a whole number of seconds, 1 to kMaxSeconds; nothing otherwise.
std::optional<int> ParseSeconds(const std::string& text);

}  // namespace player_sim
