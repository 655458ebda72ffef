#include "receiver/settings/lyrics_section.h"

#include <optional>

#include "receiver/settings/ini_line.h"

namespace receiver {

namespace {

// LRCLIB's lines are off by seconds at most; a minute either way is plenty.
constexpr double kMostOffset = 60;

// "1", "-0.5", "+2.25": seconds, with a sign and a decimal point if need be.
std::optional<double> ParseSeconds(std::string_view text) {
  double sign = 1;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    sign = text.front() == '-' ? -1 : 1;
    text.remove_prefix(1);
  }
  double value = 0;
  double scale = 0;
  bool digits = false;
  for (const char c : text) {
    if (c == '.' && scale == 0) {
      scale = 1;
    } else if (c >= '0' && c <= '9') {
      digits = true;
      if (scale == 0) {
        value = value * 10 + (c - '0');
      } else {
        scale /= 10;
        value += scale * (c - '0');
      }
      if (value > kMostOffset) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  if (!digits) return std::nullopt;
  return sign * value;
}

}  // namespace

std::string LyricsKey(const std::string& key, const std::string& value,
                      LyricsSettings& lyrics, const LyricsSettings& before) {
  const std::string& where = key;
  if (key == "enabled") {
    const std::optional<bool> enabled = ParseYesNo(value);
    lyrics.enabled = enabled.value_or(before.enabled);
    if (!enabled) return where + " is yes or no, not \"" + value + "\"";
  } else if (key == "offset") {
    const std::optional<double> offset = ParseSeconds(value);
    lyrics.offset = offset.value_or(before.offset);
    if (!offset) {
      return where + " is a number of seconds from -60 to 60, such as 0.5 " +
             "or -1, not \"" + value + "\"";
    }
  } else {
    return "unknown setting \"" + key + "\"; it takes enabled, offset and url";
  }
  return {};
}

}  // namespace receiver
