#pragma once

#include <optional>
#include <string>
#include <vector>

#include "receiver/songs/song_settings.h"
#include "receiver/songs/song_text.h"

// What the settings make of a song: the song files' bytes, the line of
// history.txt and the chat's answer.
namespace receiver {

inline constexpr std::size_t kMaxChatCharacters = 400;

struct OutputFile {
  std::string name;
  std::string bytes;
};

// --format for a listed now_playing.txt too, whatever the case of its name:
// the option wins, a template or, when it is not one, the text as written.
void ApplyFormat(SongSettings& settings,
                 const std::optional<std::string>& format);

// Every song file, now_playing.json included, for the song or, while idle,
// the idle texts; nothing before the first song unless idle.
std::vector<OutputFile> SongFiles(const SongSettings& settings,
                                  const std::optional<std::string>& format,
                                  const Song* song, bool idle);

// The song files' names, now_playing.json last: the [file] sections', or
// the five of old without any.
std::vector<std::string> SongFileNames(const SongSettings& settings);

// The song files that `before` wrote and `after` does not, whatever the case
// of their names.
std::vector<std::string> StoppedFiles(const SongSettings& before,
                                      const SongSettings& after);

// now_playing.txt's line, with a space for each new line.
std::string NowPlayingLine(const SongSettings& settings,
                           const std::optional<std::string>& format,
                           const Song& song);

// The chat's one line: at most 400 characters, the idle text while idle or
// before the first song.
std::string ChatLine(const SongSettings& settings, const Song* song, bool idle);

}  // namespace receiver
