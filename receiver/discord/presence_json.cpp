#include "receiver/discord/presence_json.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "receiver/songs/song_text.h"
#include "receiver/system/utf8.h"

namespace receiver {

namespace {

// Discord takes texts of 2 to 128 characters as JavaScript counts them, in
// UTF-16 code units.
constexpr std::size_t kMostUnits = 128;

std::string FitText(std::string_view utf8) {
  const std::u32string text = DecodeUtf8(utf8);
  std::size_t units = 0;
  for (const char32_t c : text) units += c > 0xFFFF ? 2 : 1;
  std::string out;
  if (units <= kMostUnits) {
    for (const char32_t c : text) AppendUtf8(out, c);
  } else {
    units = 0;
    for (const char32_t c : text) {
      const std::size_t size = c > 0xFFFF ? 2 : 1;
      if (units + size > kMostUnits - 1) break;
      units += size;
      AppendUtf8(out, c);
    }
    AppendUtf8(out, U'\u2026');
  }
  // A zero-width space makes one letter two; a plain one could be trimmed.
  if (units == 1) AppendUtf8(out, U'\u200B');
  return out;
}

}  // namespace

bool operator==(const Playing& a, const Playing& b) {
  return a.number == b.number && a.artist == b.artist && a.album == b.album &&
         a.title == b.title && a.start_ms == b.start_ms &&
         a.length == b.length && a.cover_url == b.cover_url;
}

bool operator!=(const Playing& a, const Playing& b) { return !(a == b); }

std::string HandshakeJson(std::string_view application) {
  return "{\"v\":1,\"client_id\":" + JsonString(application) + "}";
}

std::string ActivityJson(const Playing& playing,
                         const DiscordSettings& settings) {
  std::string out = "{\"type\":2,\"status_display_type\":1";
  if (!playing.title.empty()) {
    out += ",\"details\":" + JsonString(FitText(playing.title));
  }
  if (!playing.artist.empty()) {
    out += ",\"state\":" + JsonString(FitText(playing.artist));
  }
  const std::string& image =
      playing.cover_url.empty() ? settings.image : playing.cover_url;
  std::string assets;
  if (!image.empty()) assets += "\"large_image\":" + JsonString(image);
  if (!playing.album.empty()) {
    assets += std::string(assets.empty() ? "" : ",") +
              "\"large_text\":" + JsonString(FitText(playing.album));
  }
  if (!assets.empty()) out += ",\"assets\":{" + assets + "}";
  out += ",\"timestamps\":{\"start\":" + std::to_string(playing.start_ms);
  if (playing.length > 0) {
    out += ",\"end\":" + std::to_string(playing.start_ms +
                                        std::int64_t{playing.length} * 1000);
  }
  return out + "}}";
}

std::string SetActivityJson(std::uint32_t pid, std::string_view activity,
                            std::string_view nonce) {
  std::string out =
      "{\"cmd\":\"SET_ACTIVITY\",\"args\":{\"pid\":" + std::to_string(pid);
  if (!activity.empty()) {
    out += ",\"activity\":";
    out += activity;
  }
  return out + "},\"nonce\":" + JsonString(nonce) + "}";
}

DiscordAnswer ReadAnswer(std::string_view json) {
  DiscordAnswer answer;
  const nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
  if (!parsed.is_object()) return answer;
  const auto text = [](const nlohmann::json& object, const char* name) {
    const auto it = object.find(name);
    return it != object.end() && it->is_string() ? it->get<std::string>()
                                                 : std::string();
  };
  // A CLOSE carries its code and message at the top, an ERROR event in data.
  const auto data = parsed.find("data");
  const nlohmann::json& details =
      data != parsed.end() && data->is_object() ? *data : parsed;
  const auto code = details.find("code");
  if (code != details.end() && code->is_number_integer()) {
    answer.code = static_cast<int>(
        std::clamp<std::int64_t>(code->get<std::int64_t>(), -99999, 99999));
  }
  answer.message = text(details, "message");
  const std::string event = text(parsed, "evt");
  if (event == "READY") answer.kind = DiscordAnswer::Kind::kReady;
  if (event == "ERROR") answer.kind = DiscordAnswer::Kind::kError;
  return answer;
}

}  // namespace receiver
