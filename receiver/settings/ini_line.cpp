#include "receiver/settings/ini_line.h"

namespace receiver {

IniValue FindIniValue(std::string_view raw) {
  std::size_t begin = 0;
  while (begin < raw.size() && (raw[begin] == ' ' || raw[begin] == '\t')) {
    ++begin;
  }
  const std::string_view value = raw.substr(begin);
  if (value.size() >= 2 && value.front() == '"') {
    const std::size_t close = value.find('"', 1);
    if (close != std::string_view::npos) {
      const std::string_view after = TrimBlanks(value.substr(close + 1));
      if (after.empty() || after.front() == ';') {
        return {begin, close + 1, std::string(value.substr(1, close - 1))};
      }
    }
  }
  std::string_view plain = value;
  for (std::size_t i = 0; i < plain.size(); ++i) {
    if (plain[i] == ';' &&
        (i == 0 || plain[i - 1] == ' ' || plain[i - 1] == '\t')) {
      plain = plain.substr(0, i);
      break;
    }
  }
  plain = TrimBlanks(plain);
  return {begin, plain.size(), std::string(plain)};
}

std::optional<int> ParseWhole(std::string_view text, int low, int high) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

std::optional<bool> ParseYesNo(std::string_view text) {
  const std::string lower = LowerAscii(text);
  if (lower == "yes" || lower == "true" || lower == "on" || lower == "1") {
    return true;
  }
  if (lower == "no" || lower == "false" || lower == "off" || lower == "0") {
    return false;
  }
  return std::nullopt;
}

}  // namespace receiver
