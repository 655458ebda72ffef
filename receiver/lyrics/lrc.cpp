#include "receiver/lyrics/lrc.h"

#include <algorithm>

#include "receiver/songs/clean_text.h"
#include "receiver/system/ascii.h"

namespace receiver {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits from `at`, at least `least` and at most `most` of them.
std::optional<long> Digits(std::string_view text, std::size_t& at,
                           std::size_t least, std::size_t most) {
  long value = 0;
  std::size_t count = 0;
  while (at < text.size() && IsDigit(text[at]) && count < most) {
    value = value * 10 + (text[at++] - '0');
    ++count;
  }
  if (count < least) return std::nullopt;
  return value;
}

// "mm:ss", "mm:ss.x" to "mm:ss.xxx" (or ":xx" for the fraction), exactly.
std::optional<double> Time(std::string_view text) {
  std::size_t at = 0;
  const std::optional<long> minutes = Digits(text, at, 1, 4);
  if (!minutes || at >= text.size() || text[at++] != ':') return std::nullopt;
  const std::optional<long> seconds = Digits(text, at, 2, 2);
  if (!seconds || *seconds > 59) return std::nullopt;
  double time = static_cast<double>(*minutes * 60 + *seconds);
  if (at == text.size()) return time;
  if (text[at] != '.' && text[at] != ':') return std::nullopt;
  ++at;
  const std::size_t start = at;
  const std::optional<long> fraction = Digits(text, at, 1, 3);
  if (!fraction || at != text.size()) return std::nullopt;
  double scale = 1;
  for (std::size_t i = start; i < at; ++i) scale *= 10;
  return time + static_cast<double>(*fraction) / scale;
}

// "[offset:+500]" as milliseconds.
std::optional<long> Offset(std::string_view tag) {
  constexpr std::string_view kName = "offset:";
  if (tag.size() <= kName.size() ||
      !SameAscii(tag.substr(0, kName.size()), kName)) {
    return std::nullopt;
  }
  std::string_view value = TrimBlanks(tag.substr(kName.size()));
  long sign = 1;
  if (!value.empty() && (value.front() == '+' || value.front() == '-')) {
    sign = value.front() == '-' ? -1 : 1;
    value.remove_prefix(1);
  }
  std::size_t at = 0;
  const std::optional<long> milliseconds = Digits(value, at, 1, 7);
  if (!milliseconds || at != value.size()) return std::nullopt;
  return sign * *milliseconds;
}

// The text without the word times of enhanced LRC.
std::string WithoutWordTimes(std::string_view text) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    if (text[at] == '<') {
      const std::size_t close = text.find('>', at);
      if (close != std::string_view::npos &&
          Time(text.substr(at + 1, close - at - 1))) {
        at = close + 1;
        continue;
      }
    }
    out += text[at++];
  }
  return out;
}

}  // namespace

std::vector<LyricLine> ParseLrc(std::string_view text) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
  std::vector<LyricLine> lines;
  long offset = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = TrimSpace(text.substr(start, end - start));
    start = end + 1;
    std::vector<double> times;
    bool tag_only = false;
    while (!line.empty() && line.front() == '[') {
      const std::size_t close = line.find(']');
      if (close == std::string_view::npos) break;
      const std::string_view tag = line.substr(1, close - 1);
      const std::optional<double> time = Time(tag);
      if (time) {
        times.push_back(*time);
      } else if (const std::optional<long> moved = Offset(tag)) {
        offset = *moved;
      } else {
        // After a time, a bracket is the text's ("[00:12.00][Chorus] ...").
        tag_only = times.empty();
        break;
      }
      line = TrimSpace(line.substr(close + 1));
    }
    if (tag_only || times.empty()) continue;
    const std::string words = CleanText(WithoutWordTimes(line));
    for (const double time : times) lines.push_back({time, words});
  }
  for (LyricLine& line : lines) {
    line.seconds = std::max(0.0, line.seconds - offset / 1000.0);
  }
  std::stable_sort(lines.begin(), lines.end(),
                   [](const LyricLine& a, const LyricLine& b) {
                     return a.seconds < b.seconds;
                   });
  return lines;
}

int LineAt(const std::vector<LyricLine>& lines, double seconds) {
  const auto after = std::upper_bound(
      lines.begin(), lines.end(), seconds,
      [](double at, const LyricLine& line) { return at < line.seconds; });
  return static_cast<int>(after - lines.begin()) - 1;
}

std::optional<double> NextLineStart(const std::vector<LyricLine>& lines,
                                    double seconds) {
  const std::size_t next = static_cast<std::size_t>(LineAt(lines, seconds) + 1);
  if (next >= lines.size()) return std::nullopt;
  return lines[next].seconds;
}

}  // namespace receiver
