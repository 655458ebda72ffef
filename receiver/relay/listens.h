#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/text/song_text.h"

// Listens: songs played long enough to count, kept one JSON line each in
// listens.jsonl until the service has taken them.
namespace receiver {

inline constexpr std::int64_t kListenSeconds = 240;

struct Listen {
  Song song;
  std::int64_t listened_at = 0;  // Unix seconds: when the song started
};

// Whether a song current from `started` to `ended` (Unix seconds) counts.
bool CountsAsListen(std::int64_t started, std::int64_t ended);

// One line of JSON and "\n": artist, album, title, received, listened_at.
std::string ListenLine(const Listen& listen);

// The listens of a file of such lines; a line that is not one (cut short by
// a crash, edited) is left out.
std::vector<Listen> ParseListenLines(std::string_view text);

}  // namespace receiver
