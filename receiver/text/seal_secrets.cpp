#include "receiver/text/ini_line.h"
#include "receiver/text/target_settings.h"

namespace receiver {

std::optional<std::string> SealSecrets(std::string_view text,
                                       const Seal& seal) {
  std::string out;
  out.reserve(text.size() + 256);
  bool sealed_any = false;
  std::string section;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    end = end == std::string_view::npos ? text.size() : end + 1;
    std::string line(text.substr(start, end - start));
    start = end;
    std::size_t content = line.size();
    if (content > 0 && line[content - 1] == '\n') --content;
    if (content > 0 && line[content - 1] == '\r') --content;
    std::string_view trimmed =
        TrimBlanks(std::string_view(line).substr(0, content));
    if (out.empty() && trimmed.compare(0, 3, "\xEF\xBB\xBF") == 0) {
      trimmed = TrimBlanks(trimmed.substr(3));
    }
    const std::size_t equals = line.find('=');
    if (!trimmed.empty() && trimmed.front() == '[') {
      section.clear();
      if (trimmed.back() == ']') {
        section = LowerAscii(TrimBlanks(trimmed.substr(1, trimmed.size() - 2)));
      }
    } else if (!trimmed.empty() && trimmed.front() != ';' &&
               trimmed.front() != '#' && equals < content) {
      const std::string key =
          LowerAscii(TrimBlanks(std::string_view(line).substr(0, equals)));
      const std::string_view raw =
          std::string_view(line).substr(equals + 1, content - equals - 1);
      const IniValue value = FindIniValue(raw);
      if (IsSecretKey(section, key) && !value.text.empty() &&
          value.text.compare(0, kSealedPrefix.size(), kSealedPrefix) != 0) {
        const std::optional<std::string> sealed = seal(value.text);
        if (!sealed) return std::nullopt;
        line.replace(equals + 1 + value.begin, value.size, *sealed);
        sealed_any = true;
      }
    }
    out += line;
  }
  if (!sealed_any) return std::nullopt;
  return out;
}

}  // namespace receiver
