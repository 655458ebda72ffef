#include "receiver/text/song_outputs.h"

#include "receiver/text/template.h"

namespace receiver {

namespace {

constexpr std::string_view kNowPlaying = "now_playing.txt";

const FileSettings* NowPlayingFile(const ReceiverSettings& settings) {
  for (const FileSettings& file : settings.files) {
    if (file.name == kNowPlaying) return &file;
  }
  return nullptr;
}

// --format as a template; one that is not, as written, as it always was.
std::string FormatText(const std::optional<std::string>& format,
                       const Song& song, NewLine new_line) {
  if (format) {
    if (const ParsedTemplate parsed = ParseTemplate(*format); parsed.parts) {
      return ExpandTemplate(*parsed.parts, song, new_line);
    }
  }
  return TextLine(format, song);
}

}  // namespace

void ApplyFormat(ReceiverSettings& settings,
                 const std::optional<std::string>& format) {
  if (!format) return;
  ParsedTemplate parsed = ParseTemplate(*format);
  if (!parsed.parts) return;
  for (FileSettings& file : settings.files) {
    if (file.name != kNowPlaying) continue;
    file.template_text = *format;
    file.parts = std::move(*parsed.parts);
  }
}

std::vector<OutputFile> SongFiles(const ReceiverSettings& settings,
                                  const std::optional<std::string>& format,
                                  const Song* song, bool idle) {
  std::vector<OutputFile> files;
  if (song == nullptr && !idle) return files;
  const Song none;
  const Song& shown = song ? *song : none;
  if (settings.files.empty()) {
    // Byte for byte what the receiver wrote before it had settings.
    const auto text = [&](std::string value) {
      return idle ? settings.idle_text : value;
    };
    files.push_back(
        {"now_playing.txt", text(FormatText(format, shown, NewLine::kCrLf))});
    files.push_back({"now_playing.json", SongFileJson(song, idle)});
    files.push_back({"artist.txt", text(shown.artist)});
    files.push_back({"album.txt", text(shown.album)});
    files.push_back({"title.txt", text(shown.title)});
    return files;
  }
  for (const FileSettings& file : settings.files) {
    const std::string text =
        idle ? file.idle.value_or(settings.idle_text)
             : ExpandTemplate(file.parts, shown, NewLine::kCrLf);
    files.push_back({file.name, EncodeFile(text, file.encoding)});
  }
  files.push_back({"now_playing.json", SongFileJson(song, idle)});
  return files;
}

std::string NowPlayingLine(const ReceiverSettings& settings,
                           const std::optional<std::string>& format,
                           const Song& song) {
  if (const FileSettings* file = NowPlayingFile(settings)) {
    return ExpandTemplate(file->parts, song, NewLine::kSpace);
  }
  return FormatText(format, song, NewLine::kSpace);
}

std::string ChatLine(const ReceiverSettings& settings, const Song* song,
                     bool idle) {
  const std::string line =
      idle || song == nullptr
          ? settings.chat_idle
          : ExpandTemplate(settings.chat, *song, NewLine::kSpace);
  return CutText(line, kMaxChatCharacters);
}

}  // namespace receiver
