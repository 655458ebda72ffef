#include "receiver/songs/song_file_read.h"

#include <nlohmann/json.hpp>

#include <string>

#include "receiver/songs/clean_text.h"
#include "receiver/system/utf8.h"

namespace receiver {

namespace {

using Json = nlohmann::json;

// Deeper nesting than any song file has is refused rather than built.
constexpr int kMaxDepth = 32;

}  // namespace

SongFileRead ParseSongFile(std::string_view json) {
  // A file saved in another encoding keeps its song, with U+FFFD for the
  // broken bytes, as a report would.
  std::string text;
  text.reserve(json.size());
  for (const char32_t c : DecodeUtf8(json)) AppendUtf8(text, c);
  bool too_deep = false;
  const Json parsed = Json::parse(
      text,
      [&too_deep](int depth, Json::parse_event_t event, Json&) {
        if (event == Json::parse_event_t::object_start ||
            event == Json::parse_event_t::array_start) {
          too_deep = too_deep || depth > kMaxDepth;
        }
        return !too_deep;
      },
      false);
  if (too_deep || parsed.is_discarded()) return {};
  SongFileRead result;
  if (parsed.is_null()) {
    result.state = SongFileState::kNoSong;
    return result;
  }
  if (!parsed.is_object()) return {};
  for (auto [name, field] : {std::pair{"artist", &result.song.artist},
                             std::pair{"album", &result.song.album},
                             std::pair{"title", &result.song.title},
                             std::pair{"received", &result.song.received}}) {
    const auto member = parsed.find(name);
    if (member == parsed.end() || !member->is_string()) continue;
    *field = CleanText(member->get_ref<const std::string&>());
    result.state = SongFileState::kSong;
  }
  const auto cover = parsed.find("cover");
  if (result.state == SongFileState::kSong && cover != parsed.end() &&
      cover->is_string() && !cover->get_ref<const std::string&>().empty()) {
    result.song.cover = std::string(kCoverFile);
  }
  const auto length = parsed.find("length");
  if (result.state == SongFileState::kSong && length != parsed.end() &&
      length->is_number_integer() && length->get<long long>() > 0 &&
      length->get<long long>() <= kMaxSongLength) {
    result.song.length = length->get<int>();
  }
  return result;
}

}  // namespace receiver
