#include "settings/settings_text.h"

namespace settings {

std::string FromDiskText(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\x1A') break;
    if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text += c;
  }
  return text;
}

std::string ToDiskText(const std::string& text) {
  std::string bytes;
  bytes.reserve(text.size() + 4);
  for (const char c : text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  return bytes;
}

SettingsValues SplitSettingsText(const std::string& text) {
  const std::size_t p1 = text.find('\n');
  const std::size_t p2 =
      p1 == std::string::npos ? std::string::npos : text.find('\n', p1 + 1);
  SettingsValues values;
  values.host = text.substr(0, p1);
  // With no line feed at all, p1 + 1 wraps to 0: port and path take all of T.
  values.port = text.substr(
      p1 + 1, p2 == std::string::npos ? std::string::npos : p2 - p1 - 1);
  values.request_path = text.substr(p2 + 1);
  return values;
}

std::string JoinSettingsText(const std::string& host, const std::string& port,
                             const std::string& request_path) {
  return host + "\n" + port + "\n" + request_path;
}

}  // namespace settings
