#include "receiver/text/song_text.h"

#include <cstdio>

#include "receiver/text/utf8.h"

namespace receiver {

namespace {

constexpr std::string_view kDefaultFormat = "{artist} - {title}";

// The four members in file order, for both JSON forms.
std::string JsonObject(const Song& song, bool idle, std::string_view open,
                       std::string_view separator, std::string_view close) {
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
  return JsonObject(*song, idle, "{\n    ", ",\n    ", "\n}\n");
}

std::string SongEvent(const Song& song, bool idle) {
  return "data: " + JsonObject(song, idle, "{", ", ", "}") + "\n\n";
}

std::string IsoUtc(std::int64_t unix_seconds) {
  std::int64_t days = unix_seconds / 86400;
  std::int64_t rest = unix_seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Civil date from a day count (H. Hinnant's algorithm).
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t day_of_era = days - era * 146097;
  const std::int64_t year_of_era = (day_of_era - day_of_era / 1460 +
                                    day_of_era / 36524 - day_of_era / 146096) /
                                   365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t month_index = (5 * day_of_year + 2) / 153;
  const std::int64_t day = day_of_year - (153 * month_index + 2) / 5 + 1;
  const std::int64_t month =
      month_index < 10 ? month_index + 3 : month_index - 9;
  const std::int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ",
                static_cast<int>(year), static_cast<int>(month),
                static_cast<int>(day), static_cast<int>(rest / 3600),
                static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
  return text;
}

}  // namespace receiver
