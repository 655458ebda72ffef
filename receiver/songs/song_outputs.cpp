#include "receiver/songs/song_outputs.h"

#include <algorithm>

#include "receiver/songs/own_files.h"
#include "receiver/songs/template.h"
#include "receiver/system/ascii.h"

namespace receiver {

namespace {

constexpr std::string_view kNowPlaying = "now_playing.txt";

bool IsNowPlaying(const FileSettings& file) {
  return SameAscii(file.name, kNowPlaying);
}

const FileSettings* NowPlayingFile(const SongSettings& settings) {
  for (const FileSettings& file : settings.files) {
    if (IsNowPlaying(file)) return &file;
  }
  return nullptr;
}

// --format as a template; one that is not, as written with {artist},
// {album} and {title} in it replaced, as it always was.
Template FormatParts(std::string_view format) {
  ParsedTemplate parsed = ParseTemplate(format);
  if (parsed.parts) return std::move(*parsed.parts);
  constexpr std::pair<std::string_view, Field> kFields[] = {
      {"{artist}", Field::kArtist},
      {"{album}", Field::kAlbum},
      {"{title}", Field::kTitle}};
  Template parts;
  TemplatePart text;
  for (std::size_t i = 0; i < format.size();) {
    const auto field =
        std::find_if(std::begin(kFields), std::end(kFields), [&](auto& f) {
          return format.compare(i, f.first.size(), f.first) == 0;
        });
    if (field == std::end(kFields)) {
      text.text += format[i++];
      continue;
    }
    if (!text.text.empty()) parts.push_back(std::move(text));
    text = TemplatePart();
    TemplatePart part;
    part.kind = TemplatePart::Kind::kField;
    part.field = field->second;
    parts.push_back(std::move(part));
    i += field->first.size();
  }
  if (!text.text.empty()) parts.push_back(std::move(text));
  return parts;
}

std::string FormatText(const std::optional<std::string>& format,
                       const Song& song, NewLine new_line) {
  if (format) return ExpandTemplate(FormatParts(*format), song, new_line);
  return TextLine(format, song);
}

// A NUL from the settings file never reaches a reader that stops at it.
std::string WithoutNul(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
  return text;
}

}  // namespace

void ApplyFormat(SongSettings& settings,
                 const std::optional<std::string>& format) {
  if (!format) return;
  for (FileSettings& file : settings.files) {
    if (!IsNowPlaying(file)) continue;
    file.template_text = *format;
    file.parts = FormatParts(*format);
  }
}

std::vector<OutputFile> SongFiles(const SongSettings& settings,
                                  const std::optional<std::string>& format,
                                  const Song* song, bool idle) {
  std::vector<OutputFile> files;
  if (song == nullptr && !idle) return files;
  const Song none;
  const Song& shown = song ? *song : none;
  if (settings.files.empty()) {
    // Byte for byte what the receiver wrote before it had settings.
    const auto text = [&](std::string value) {
      return WithoutNul(idle ? settings.idle_text : value);
    };
    files.push_back(
        {"now_playing.txt", text(FormatText(format, shown, NewLine::kCrLf))});
    files.push_back({std::string(kSongJsonFile), SongFileJson(song, idle)});
    files.push_back({"artist.txt", text(shown.artist)});
    files.push_back({"album.txt", text(shown.album)});
    files.push_back({"title.txt", text(shown.title)});
    return files;
  }
  for (const FileSettings& file : settings.files) {
    const std::string text =
        idle ? file.idle.value_or(settings.idle_text)
             : ExpandTemplate(file.parts, shown, NewLine::kCrLf);
    files.push_back({file.name, EncodeFile(WithoutNul(text), file.encoding)});
  }
  files.push_back({std::string(kSongJsonFile), SongFileJson(song, idle)});
  return files;
}

std::vector<std::string> SongFileNames(const SongSettings& settings) {
  std::vector<std::string> names;
  if (settings.files.empty()) {
    names = {"now_playing.txt", "artist.txt", "album.txt", "title.txt"};
  }
  for (const FileSettings& file : settings.files) names.push_back(file.name);
  names.emplace_back(kSongJsonFile);
  return names;
}

std::vector<std::string> StoppedFiles(const SongSettings& before,
                                      const SongSettings& after) {
  const std::vector<std::string> kept = SongFileNames(after);
  std::vector<std::string> stopped;
  for (const std::string& name : SongFileNames(before)) {
    if (std::none_of(kept.begin(), kept.end(), [&](const std::string& other) {
          return SameAscii(name, other);
        })) {
      stopped.push_back(name);
    }
  }
  return stopped;
}

std::string NowPlayingLine(const SongSettings& settings,
                           const std::optional<std::string>& format,
                           const Song& song) {
  if (const FileSettings* file = NowPlayingFile(settings)) {
    return ExpandTemplate(file->parts, song, NewLine::kSpace);
  }
  return FormatText(format, song, NewLine::kSpace);
}

std::string ChatLine(const SongSettings& settings, const Song* song,
                     bool idle) {
  const std::string line =
      idle || song == nullptr
          ? settings.chat_idle
          : ExpandTemplate(settings.chat, *song, NewLine::kSpace);
  return CutText(line, kMaxChatCharacters);
}

bool SameFiles(const SongSettings& a, const SongSettings& b) {
  if (a.idle_text != b.idle_text || a.files.size() != b.files.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.files.size(); ++i) {
    const FileSettings& x = a.files[i];
    const FileSettings& y = b.files[i];
    if (x.name != y.name || x.template_text != y.template_text ||
        x.encoding != y.encoding || x.idle != y.idle) {
      return false;
    }
  }
  return true;
}

}  // namespace receiver
