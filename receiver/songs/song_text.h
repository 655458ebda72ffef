#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The latest song and the texts made from it: the text file's line, the JSON
// file (byte for byte what the PHP receiver writes) and the pushed event.
namespace receiver {

struct Song {
  std::string artist;
  std::string album;
  std::string title;
  std::string received;  // UTC, e.g. 2024-05-01T20:15:00Z
  // The cover's cache key (16 lower-case hex digits), kPlaceholderCover,
  // kCoverFile, or empty for none.
  std::string cover = {};
  // The recording's length in seconds, once looked up; 0: not known.
  int length = 0;
};

inline constexpr std::string_view kPlaceholderCover = "placeholder";
// A song read back from its file, which names cover.jpg beside it: the
// bytes are that file's.
inline constexpr std::string_view kCoverFile = "file";

// Whether `text` is a cover's cache key: 16 lower-case hex digits.
bool IsCoverKey(std::string_view text);

// "{artist}", "{album}" and "{title}" replaced; anything else as written.
std::string FormatLine(std::string_view format, const Song& song);

// The text file's line: the given format, or "{artist} - {title}" (just
// "{title}" when there is no artist) without one.
std::string TextLine(const std::optional<std::string>& format,
                     const Song& song);

// A JSON string literal; "/" and non-ASCII as they are, U+2028 and U+2029
// escaped, like PHP's json_encode with the flags the PHP receiver uses.
std::string JsonString(std::string_view utf8);
// The most bytes JsonString writes for one character: "\u2028".
inline constexpr std::size_t kMaxJsonCharacterBytes = 6;

// The longest length a song is taken with: a day.
inline constexpr int kMaxSongLength = 24 * 60 * 60;

// The song file: four-space indented, with a final line end; "null\n"
// without a song. With a cover, "cover": "cover.jpg" after "received", and
// with a length, "length": seconds after that (without either the bytes are
// the PHP receiver's). While idle the song stays, with "idle": true after it.
std::string SongFileJson(const Song* song, bool idle = false);

// One server-sent event carrying the song as one line of JSON; with a cover,
// "cover": "/cover.jpg?" and the cover's value, a new address for each new
// cover; with a length, "length": seconds.
std::string SongEvent(const Song& song, bool idle = false);

// Seconds since 1970 as "YYYY-MM-DDTHH:MM:SSZ".
std::string IsoUtc(std::int64_t unix_seconds);

}  // namespace receiver
