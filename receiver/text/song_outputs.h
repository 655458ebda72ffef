#pragma once

#include <optional>
#include <string>
#include <vector>

#include "receiver/text/settings_file.h"
#include "receiver/text/song_text.h"

// What the settings make of a song: the song files' bytes, the line of
// history.txt and the chat's answer.
namespace receiver {

inline constexpr std::size_t kMaxChatCharacters = 400;

struct OutputFile {
  std::string name;
  std::string bytes;
};

// --format, when it is a template, for a listed now_playing.txt too.
void ApplyFormat(ReceiverSettings& settings,
                 const std::optional<std::string>& format);

// Every song file, now_playing.json included, for the song or, while idle,
// the idle texts; nothing before the first song unless idle.
std::vector<OutputFile> SongFiles(const ReceiverSettings& settings,
                                  const std::optional<std::string>& format,
                                  const Song* song, bool idle);

// now_playing.txt's line, with a space for each new line.
std::string NowPlayingLine(const ReceiverSettings& settings,
                           const std::optional<std::string>& format,
                           const Song& song);

// The chat's one line: at most 400 characters, the idle text while idle or
// before the first song.
std::string ChatLine(const ReceiverSettings& settings, const Song* song,
                     bool idle);

}  // namespace receiver
