#include "receiver/lyrics/lrclib.h"

#include <algorithm>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "receiver/songs/upper_case.h"
#include "receiver/system/ascii.h"

namespace receiver {

namespace {

using Json = nlohmann::json;

// A field larger than this is no song's lyrics.
constexpr std::size_t kMostLyricsBytes = 256 * 1024;

Outgoing LrclibGet(const LyricsSettings& settings, std::string_view contact,
                   std::string_view path, const std::string& query) {
  std::string url = settings.url;
  while (!url.empty() && url.back() == '/') url.pop_back();
  Outgoing out;
  out.url = url + std::string(path) + "?" + query;
  out.headers = {{"User-Agent", UserAgent(contact)},
                 {"Accept", "application/json"}};
  out.follow_redirects = true;
  return out;
}

std::string NamesQuery(const Song& song) {
  return "artist_name=" + UrlEncode(song.artist) +
         "&track_name=" + UrlEncode(song.title);
}

std::string Fold(std::string_view text) {
  return UpperCaseText(TrimSpace(text));
}

std::string Text(const Json& track, const char* name) {
  const auto found = track.find(name);
  if (found == track.end() || !found->is_string()) return {};
  return found->get<std::string>();
}

// The record of a track, and how much it has to show: 3 synced, 2 plain,
// 1 instrumental, 0 nothing.
int RecordOf(const Json& track, std::string& record) {
  const auto instrumental = track.find("instrumental");
  const bool none_sung = instrumental != track.end() &&
                         instrumental->is_boolean() &&
                         instrumental->get<bool>();
  Json kept = {{"instrumental", none_sung}};
  int worth = none_sung ? 1 : 0;
  for (const auto& [name, value] :
       {std::pair{"plainLyrics", 2}, std::pair{"syncedLyrics", 3}}) {
    const std::string text = Text(track, name);
    const bool synced = value == 3;
    if (text.empty() || text.size() > kMostLyricsBytes ||
        TrimSpace(text).empty() || (synced && ParseLrc(text).empty())) {
      kept[name] = nullptr;
      continue;
    }
    kept[name] = text;
    if (!none_sung) worth = std::max(worth, value);
  }
  record = kept.dump(-1, ' ', false, Json::error_handler_t::replace);
  return worth;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

}  // namespace

Outgoing LyricsGet(const LyricsSettings& settings, std::string_view contact,
                   const Song& song, int length) {
  std::string query = NamesQuery(song);
  if (!song.album.empty()) query += "&album_name=" + UrlEncode(song.album);
  query += "&duration=" + std::to_string(length);
  return LrclibGet(settings, contact, "/api/get", query);
}

Outgoing LyricsSearch(const LyricsSettings& settings, std::string_view contact,
                      const Song& song) {
  return LrclibGet(settings, contact, "/api/search", NamesQuery(song));
}

LyricsAnswer GetAnswer(std::string_view json) {
  const Json track = Json::parse(json.begin(), json.end(), nullptr, false);
  if (!track.is_object()) return {};
  LyricsAnswer answer;
  answer.ok = true;
  std::string record;
  if (RecordOf(track, record) > 0) answer.record = std::move(record);
  return answer;
}

LyricsAnswer BestSearchAnswer(std::string_view json, const Song& song) {
  const Json tracks = Json::parse(json.begin(), json.end(), nullptr, false);
  if (!tracks.is_array()) return {};
  LyricsAnswer answer;
  answer.ok = true;
  const std::string artist = Fold(song.artist);
  const std::string title = Fold(song.title);
  const std::string album = Fold(song.album);
  int best = 0;
  for (const Json& track : tracks) {
    if (!track.is_object() || Fold(Text(track, "artistName")) != artist ||
        Fold(Text(track, "trackName")) != title) {
      continue;
    }
    std::string record;
    const int worth = RecordOf(track, record);
    if (worth == 0) continue;
    const int rank =
        worth * 2 + (Fold(Text(track, "albumName")) == album ? 1 : 0);
    if (rank > best) {
      best = rank;
      answer.record = std::move(record);
    }
  }
  return answer;
}

Lyrics LyricsOfRecord(std::string_view record) {
  const Json kept = Json::parse(record.begin(), record.end(), nullptr, false);
  Lyrics lyrics;
  if (!kept.is_object()) return lyrics;
  const auto instrumental = kept.find("instrumental");
  if (instrumental != kept.end() && instrumental->is_boolean() &&
      instrumental->get<bool>()) {
    lyrics.kind = Lyrics::Kind::kInstrumental;
    return lyrics;
  }
  lyrics.lines = ParseLrc(Text(kept, "syncedLyrics"));
  if (!lyrics.lines.empty()) {
    lyrics.kind = Lyrics::Kind::kSynced;
    return lyrics;
  }
  lyrics.plain = std::string(TrimSpace(Text(kept, "plainLyrics")));
  if (!lyrics.plain.empty()) lyrics.kind = Lyrics::Kind::kPlain;
  return lyrics;
}

std::string LyricsJson(const Lyrics* lyrics, double elapsed) {
  const Lyrics::Kind kind = lyrics ? lyrics->kind : Lyrics::Kind::kNone;
  constexpr const char* kKinds[] = {"none", "synced", "plain", "instrumental"};
  std::string out = "{\"kind\": \"";
  out += kKinds[static_cast<int>(kind)];
  out += "\", \"elapsed\": " + Seconds(elapsed);
  if (kind == Lyrics::Kind::kSynced) {
    out += ", \"lines\": [";
    for (std::size_t i = 0; i < lyrics->lines.size(); ++i) {
      const LyricLine& line = lyrics->lines[i];
      out += i == 0 ? "" : ", ";
      out += "{\"time\": " + Seconds(line.seconds) +
             ", \"text\": " + JsonString(line.text) + "}";
    }
    out += "]";
  } else if (kind == Lyrics::Kind::kPlain) {
    out += ", \"plain\": " + JsonString(lyrics->plain);
  }
  return out + "}\n";
}

}  // namespace receiver
