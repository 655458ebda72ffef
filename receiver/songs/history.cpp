#include "receiver/songs/history.h"

#include <nlohmann/json.hpp>

#include <cstdio>

#include "receiver/songs/clean_text.h"
#include "receiver/system/civil_time.h"

namespace receiver {

namespace {

using Json = nlohmann::json;

constexpr std::string_view kCoverFolder = "covers/";
constexpr std::string_view kCoverExtension = ".jpg";

// "covers/KEY.jpg" as KEY; anything else as none.
std::string CoverKey(const Json& item) {
  const auto member = item.find("cover");
  if (member == item.end() || !member->is_string()) return {};
  std::string_view path = member->get_ref<const std::string&>();
  if (path.size() < kCoverFolder.size() + kCoverExtension.size() ||
      path.substr(0, kCoverFolder.size()) != kCoverFolder ||
      path.substr(path.size() - kCoverExtension.size()) != kCoverExtension) {
    return {};
  }
  path.remove_prefix(kCoverFolder.size());
  path.remove_suffix(kCoverExtension.size());
  return IsCoverKey(path) ? std::string(path) : std::string();
}

Civil Local(const HistoryEntry& entry) {
  return ToCivil(entry.unix_seconds +
                 static_cast<std::int64_t>(entry.offset_minutes) * 60);
}

bool SameSong(const Song& a, const Song& b) {
  return a.artist == b.artist && a.album == b.album && a.title == b.title;
}

}  // namespace

bool History::Add(const Song& song, std::int64_t unix_seconds,
                  int offset_minutes) {
  if (!entries_.empty() && SameSong(entries_.front().song, song) &&
      unix_seconds - entries_.front().unix_seconds <= kSameSongSeconds) {
    return false;
  }
  entries_.push_front({song, unix_seconds, offset_minutes});
  if (entries_.size() > kHistoryKept) entries_.pop_back();
  return true;
}

void History::Restore(std::vector<HistoryEntry> entries) {
  entries_.assign(std::make_move_iterator(entries.begin()),
                  std::make_move_iterator(entries.end()));
  if (entries_.size() > kHistoryKept) entries_.resize(kHistoryKept);
}

bool History::SetCover(const Song& song, std::string cover) {
  if (entries_.empty() || !SameSong(entries_.front().song, song) ||
      entries_.front().song.cover == cover) {
    return false;
  }
  entries_.front().song.cover = std::move(cover);
  return true;
}

bool History::SetLength(const Song& song, int length) {
  if (entries_.empty() || !SameSong(entries_.front().song, song) ||
      entries_.front().song.length == length) {
    return false;
  }
  entries_.front().song.length = length;
  return true;
}

std::string IsoLocal(std::int64_t unix_seconds, int offset_minutes) {
  const Civil t = Local({{}, unix_seconds, offset_minutes});
  const int offset = offset_minutes < 0 ? -offset_minutes : offset_minutes;
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                t.year, t.month, t.day, t.hour, t.minute, t.second,
                offset_minutes < 0 ? '-' : '+', offset / 60, offset % 60);
  return text;
}

std::optional<HistoryEntry> ParseIsoLocal(std::string_view text) {
  // 0123456789012345678901234
  // 2024-05-01T21:04:05+02:00
  if (text.size() != 25) return std::nullopt;
  const auto number = [&](std::size_t at, std::size_t digits) -> int {
    int value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
      if (text[i] < '0' || text[i] > '9') return -1;
      value = value * 10 + (text[i] - '0');
    }
    return value;
  };
  const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
  const int hour = number(11, 2), minute = number(14, 2),
            second = number(17, 2);
  const int offset_hours = number(20, 2), offset_rest = number(23, 2);
  if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || (text[19] != '+' && text[19] != '-') ||
      text[22] != ':' || year < 0 || month < 1 || month > 12 || day < 1 ||
      day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 60 || offset_hours < 0 || offset_hours > 14 ||
      offset_rest < 0 || offset_rest > 59) {
    return std::nullopt;
  }
  HistoryEntry entry;
  entry.offset_minutes =
      (text[19] == '-' ? -1 : 1) * (offset_hours * 60 + offset_rest);
  entry.unix_seconds = DaysFromCivil(year, static_cast<unsigned>(month),
                                     static_cast<unsigned>(day)) *
                           86400 +
                       hour * 3600 + minute * 60 + second -
                       static_cast<std::int64_t>(entry.offset_minutes) * 60;
  return entry;
}

std::string HistoryJson(const std::deque<HistoryEntry>& entries,
                        std::size_t count) {
  std::string out = "[";
  for (std::size_t i = 0; i < entries.size() && i < count; ++i) {
    const HistoryEntry& entry = entries[i];
    out += i == 0 ? "\n    " : ",\n    ";
    out += "{\"artist\": " + JsonString(entry.song.artist) +
           ", \"album\": " + JsonString(entry.song.album) +
           ", \"title\": " + JsonString(entry.song.title) + ", \"time\": " +
           JsonString(IsoLocal(entry.unix_seconds, entry.offset_minutes));
    if (IsCoverKey(entry.song.cover)) {
      out += ", \"cover\": " +
             JsonString(std::string(kCoverFolder) + entry.song.cover +
                        std::string(kCoverExtension));
    }
    if (entry.song.length > 0) {
      out += ", \"length\": " + std::to_string(entry.song.length);
    }
    out += "}";
  }
  out += entries.empty() || count == 0 ? "]\n" : "\n]\n";
  return out;
}

std::optional<std::vector<HistoryEntry>> ParseHistoryJson(
    std::string_view json) {
  std::vector<HistoryEntry> entries;
  const Json parsed = Json::parse(json, nullptr, false);
  if (!parsed.is_array()) return std::nullopt;
  for (const Json& item : parsed) {
    if (entries.size() == kHistoryKept) break;
    if (!item.is_object()) continue;
    const auto time = item.find("time");
    if (time == item.end() || !time->is_string()) continue;
    std::optional<HistoryEntry> entry =
        ParseIsoLocal(time->get_ref<const std::string&>());
    if (!entry) continue;
    for (auto [name, field] : {std::pair{"artist", &entry->song.artist},
                               std::pair{"album", &entry->song.album},
                               std::pair{"title", &entry->song.title}}) {
      const auto member = item.find(name);
      if (member != item.end() && member->is_string()) {
        *field = CleanText(member->get_ref<const std::string&>());
      }
    }
    entry->song.cover = CoverKey(item);
    const auto length = item.find("length");
    if (length != item.end() && length->is_number_integer() &&
        length->get<long long>() > 0 &&
        length->get<long long>() <= kMaxSongLength) {
      entry->song.length = length->get<int>();
    }
    entries.push_back(std::move(*entry));
  }
  return entries;
}

std::string HistoryText(const std::deque<HistoryEntry>& entries,
                        std::size_t lines,
                        const std::function<std::string(const Song&)>& line) {
  std::string out;
  for (std::size_t i = 0; i < entries.size() && i < lines; ++i) {
    const Civil t = Local(entries[i]);
    char clock[8];
    std::snprintf(clock, sizeof clock, "%02d:%02d", t.hour, t.minute);
    out += clock;
    out += "  ";
    out += line(entries[i].song);
    out += "\r\n";
  }
  return out;
}

std::string LogFileName(const HistoryEntry& entry) {
  const Civil t = Local(entry);
  char name[24];
  std::snprintf(name, sizeof name, "%04d-%02d-%02d.csv", t.year, t.month,
                t.day);
  return name;
}

std::string LogFileStart() {
  return "\xEF\xBB\xBF"
         "date,time,artist,album,title\r\n";
}

std::string LogRow(const HistoryEntry& entry) {
  const Civil t = Local(entry);
  char when[32];
  std::snprintf(when, sizeof when, "%04d-%02d-%02d,%02d:%02d:%02d", t.year,
                t.month, t.day, t.hour, t.minute, t.second);
  return std::string(when) + "," + CsvField(entry.song.artist) + "," +
         CsvField(entry.song.album) + "," + CsvField(entry.song.title) + "\r\n";
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    return std::string(text);
  }
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

}  // namespace receiver
