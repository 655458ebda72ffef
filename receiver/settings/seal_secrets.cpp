#include "receiver/settings/seal_secrets.h"

#include "receiver/settings/ini_line.h"

namespace receiver {

SealedText SealSecrets(std::string_view text, const Seal& seal) {
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
        if (!sealed) return {std::nullopt, "[" + section + "] " + key};
        const std::size_t at = equals + 1 + value.begin;
        line.replace(at, value.size, *sealed);
        // A quoted value may touch its comment ("x";): the sealed one, not
        // quoted, needs a blank there to keep it one.
        if (line.size() > at + sealed->size() &&
            line[at + sealed->size()] == ';') {
          line.insert(at + sealed->size(), 1, ' ');
        }
        sealed_any = true;
      }
    }
    out += line;
  }
  if (!sealed_any) return {};
  return {std::move(out), {}};
}

}  // namespace receiver
