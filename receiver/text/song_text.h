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
};

// "{artist}", "{album}" and "{title}" replaced; anything else as written.
std::string FormatLine(std::string_view format, const Song& song);

// The text file's line: the given format, or "{artist} - {title}" (just
// "{title}" when there is no artist) without one.
std::string TextLine(const std::optional<std::string>& format,
                     const Song& song);

// A JSON string literal; "/" and non-ASCII as they are, U+2028 and U+2029
// escaped, like PHP's json_encode with the flags the PHP receiver uses.
std::string JsonString(std::string_view utf8);

// The song file: four-space indented, with a final line end; "null\n"
// without a song. While idle the song stays, with "idle": true after it.
std::string SongFileJson(const Song* song, bool idle = false);

// One server-sent event carrying the song as one line of JSON.
std::string SongEvent(const Song& song, bool idle = false);

// Seconds since 1970 as "YYYY-MM-DDTHH:MM:SSZ".
std::string IsoUtc(std::int64_t unix_seconds);

}  // namespace receiver
