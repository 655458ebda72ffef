#include "report/request.h"

#include <climits>

namespace report {

namespace {

bool SameAsciiLetters(const std::string& text, std::size_t start,
                      std::size_t length, const char* lower) {
  std::size_t i = 0;
  for (; i < length && lower[i] != '\0'; ++i) {
    char c = text[start + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return i == length && lower[i] == '\0';
}

}  // namespace

std::string StripArtistPrefix(const std::string& title,
                              const std::string& artist) {
  const std::string prefix = artist + " - ";
  if (title.compare(0, prefix.size(), prefix) == 0) {
    return title.substr(prefix.size());
  }
  return title;
}

std::string FillRequestPath(const std::string& request_path,
                            const std::string& artist, const std::string& album,
                            const std::string& title) {
  const std::string* const values[] = {&artist, &album, &title};
  std::size_t next_value = 0;
  std::string result;
  result.reserve(request_path.size() + artist.size() + album.size() +
                 title.size());
  for (std::size_t i = 0; i < request_path.size(); ++i) {
    const char c = request_path[i];
    const char following =
        i + 1 < request_path.size() ? request_path[i + 1] : '\0';
    if (c == '%' && following == '%') {
      result += '%';
      ++i;
    } else if (c == '%' && following == 's' && next_value < 3) {
      result += *values[next_value++];
      ++i;
    } else {
      result += c;
    }
  }
  return result;
}

std::string ComposeRequest(const std::string& request_path,
                           const std::string& host,
                           const std::string& encoded_artist,
                           const std::string& encoded_album,
                           const std::string& encoded_title) {
  // CR LF line ends: several common servers refuse bare line feeds with 400.
  return "GET " +
         FillRequestPath(request_path, encoded_artist, encoded_album,
                         encoded_title) +
         " HTTP/1.1\r\nHost: " + host +
         "\r\nUser-Agent: Winamp Tunebeacon\r\n\r\n";
}

bool WantsUtf8(const std::string& request_path) {
  std::size_t start = request_path.find('?');
  if (start == std::string::npos) return false;
  while (start < request_path.size()) {
    ++start;
    std::size_t end = request_path.find('&', start);
    if (end == std::string::npos) end = request_path.size();
    std::size_t equals = request_path.find('=', start);
    if (equals > end) equals = end;
    if (SameAsciiLetters(request_path, start, equals - start, "charset")) {
      return equals < end && SameAsciiLetters(request_path, equals + 1,
                                              end - equals - 1, "utf-8");
    }
    start = end;
  }
  return false;
}

int ParsePort(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() &&
         (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate the magnitude with room for INT_MIN's; past it, clamp.
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  long long magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > limit) {
      magnitude = limit;
    }
  }
  return static_cast<int>(negative ? -magnitude : magnitude);
}

}  // namespace report
