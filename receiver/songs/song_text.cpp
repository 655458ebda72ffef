#include "receiver/songs/song_text.h"

#include <cstdio>

#include "receiver/songs/own_files.h"
#include "receiver/system/civil_time.h"
#include "receiver/system/utf8.h"

namespace receiver {

namespace {

constexpr std::string_view kDefaultFormat = "{artist} - {title}";

// The four members in file order, for both JSON forms, then the cover's
// address and the length when there are.
std::string JsonObject(const Song& song, std::string_view cover, bool idle,
                       std::string_view open, std::string_view separator,
                       std::string_view close) {
  const std::pair<std::string_view, const std::string*> members[] = {
      {"artist", &song.artist},
      {"album", &song.album},
      {"title", &song.title},
      {"received", &song.received}};
  std::string out(open);
  bool first = true;
  for (const auto& [name, value] : members) {
    if (!first) out += separator;
    first = false;
    out += JsonString(name);
    out += ": ";
    out += JsonString(*value);
  }
  if (!cover.empty()) {
    out += separator;
    out += "\"cover\": ";
    out += JsonString(cover);
  }
  if (song.length > 0) {
    out += separator;
    out += "\"length\": " + std::to_string(song.length);
  }
  if (idle) {
    out += separator;
    out += "\"idle\": true";
  }
  out += close;
  return out;
}

}  // namespace

std::string FormatLine(std::string_view format, const Song& song) {
  const std::pair<std::string_view, const std::string*> fields[] = {
      {"{artist}", &song.artist},
      {"{album}", &song.album},
      {"{title}", &song.title}};
  std::string out;
  std::size_t i = 0;
  while (i < format.size()) {
    bool replaced = false;
    for (const auto& [placeholder, value] : fields) {
      if (format.compare(i, placeholder.size(), placeholder) == 0) {
        out += *value;
        i += placeholder.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out += format[i++];
  }
  return out;
}

std::string TextLine(const std::optional<std::string>& format,
                     const Song& song) {
  if (format) return FormatLine(*format, song);
  return song.artist.empty() ? song.title : FormatLine(kDefaultFormat, song);
}

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (const char32_t c : DecodeUtf8(utf8)) {
    switch (c) {
      case U'"':
        out += "\\\"";
        break;
      case U'\\':
        out += "\\\\";
        break;
      case U'\b':
        out += "\\b";
        break;
      case U'\f':
        out += "\\f";
        break;
      case U'\n':
        out += "\\n";
        break;
      case U'\r':
        out += "\\r";
        break;
      case U'\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x2028 || c == 0x2029) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x",
                        static_cast<unsigned>(c));
          out += escape;
        } else {
          AppendUtf8(out, c);
        }
    }
  }
  out += '"';
  return out;
}

std::string SongFileJson(const Song* song, bool idle) {
  if (song == nullptr) return "null\n";
  return JsonObject(*song, song->cover.empty() ? "" : kCoverImageFile, idle,
                    "{\n    ", ",\n    ", "\n}\n");
}

std::string SongEvent(const Song& song, bool idle) {
  const std::string cover =
      song.cover.empty() ? "" : "/cover.jpg?" + song.cover;
  return "data: " + JsonObject(song, cover, idle, "{", ", ", "}") + "\n\n";
}

bool IsCoverKey(std::string_view text) {
  if (text.size() != 16) return false;
  for (const char c : text) {
    if ((c < '0' || c > '9') && (c < 'a' || c > 'f')) return false;
  }
  return true;
}

std::string IsoUtc(std::int64_t unix_seconds) {
  const Civil t = ToCivil(unix_seconds);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.year,
                t.month, t.day, t.hour, t.minute, t.second);
  return text;
}

}  // namespace receiver
