#include "tools/playlist.h"

namespace player_sim {

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type tab = line.find('\t', start);
    if (tab == std::string::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
}

bool IsValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int follow = 0;
    unsigned int code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      follow = 1;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      follow = 2;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      follow = 3;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (i + follow >= text.size()) return false;
    for (int k = 1; k <= follow; ++k) {
      const auto byte = static_cast<unsigned char>(text[i + k]);
      if ((byte & 0xC0) != 0x80) return false;
      code = (code << 6) | (byte & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF.
    if ((follow == 2 && code < 0x800) || (follow == 3 && code < 0x10000) ||
        (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
      return false;
    i += follow + 1;
  }
  return true;
}

}  // namespace

std::optional<int> ParseSeconds(const std::string& text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > kMaxSeconds) return std::nullopt;
  return value;
}

std::optional<std::vector<PlaylistEntry>> ParsePlaylist(const std::string& text,
                                                        std::string& error) {
  std::vector<PlaylistEntry> entries;
  std::string::size_type start = 0;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
  int line_number = 0;
  while (start < text.size()) {
    std::string::size_type end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;

    const std::string where = "line " + std::to_string(line_number) + ": ";
    if (!IsValidUtf8(line)) {
      error = where + "not UTF-8 text";
      return std::nullopt;
    }
    const std::vector<std::string> fields = SplitTabs(line);
    PlaylistEntry entry;
    if (fields.size() == 2 && fields[0] == "pause") {
      entry.is_pause = true;
    } else if (fields.size() == 3 || fields.size() == 4) {
      entry.artist = fields[0];
      entry.album = fields[1];
      entry.title = fields[2];
      if (entry.title.empty()) {
        error = where + "the playlist title is empty";
        return std::nullopt;
      }
    } else {
      error =
          where + "expected artist, album, title and seconds separated by tabs";
      return std::nullopt;
    }
    entry.seconds = kDefaultSeconds;
    if (fields.size() == 2 || fields.size() == 4) {
      const std::optional<int> seconds = ParseSeconds(fields.back());
      if (!seconds) {
        error = where + "seconds must be a whole number from 1 to " +
                std::to_string(kMaxSeconds);
        return std::nullopt;
      }
      entry.seconds = *seconds;
    }
    entries.push_back(entry);
  }
  bool has_track = false;
  for (const PlaylistEntry& entry : entries) has_track |= !entry.is_pause;
  if (!has_track) {
    error = "the playlist has no track";
    return std::nullopt;
  }
  return entries;
}

}  // namespace player_sim
