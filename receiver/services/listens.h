#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/songs/song_text.h"

// Listens: songs played long enough to count, kept one JSON line each in a
// journal (listens.jsonl) until the service has taken them.
namespace receiver {

inline constexpr std::int64_t kListenSeconds = 240;
// A song of a known length counts only when it is longer than this.
inline constexpr int kShortestListenLength = 30;

struct Listen {
  Song song;
  std::int64_t listened_at = 0;  // Unix seconds: when the song started
};

// Whether a song current from `started` to `ended` (Unix seconds) counts:
// with its `length` known (seconds; 0: not known), when it is longer than
// kShortestListenLength and played half of it or kListenSeconds, whichever
// comes first; without, when it played kListenSeconds.
bool CountsAsListen(std::int64_t started, std::int64_t ended, int length = 0);

// The listen of a song current from `started` to `ended`, dated when it
// started; none when it did not play long enough (by its length, if known).
std::optional<Listen> ListenOf(const Song& song, std::int64_t started,
                               std::int64_t ended);

// The id a listen goes by in the journal and the queues.
std::string ListenId(const Listen& listen);

// One line of JSON and "\n": artist, album, title, received, listened_at.
std::string ListenLine(const Listen& listen);

struct ListenLines {
  std::vector<Listen> listens;
  // Each line that is no listen (cut short, edited, dated 0 or before), with
  // its "\n": kept aside rather than lost. Blank lines are neither.
  std::string unread;
  std::size_t unread_count = 0;
};

// The listens of a file of such lines, in order.
ListenLines ParseListenLines(std::string_view text);

}  // namespace receiver
