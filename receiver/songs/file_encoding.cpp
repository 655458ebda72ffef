#include "receiver/songs/file_encoding.h"

#include "receiver/system/ascii.h"
#include "receiver/system/utf8.h"

namespace receiver {

namespace {

void AppendUnit(std::string& out, char32_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>((unit >> 8) & 0xFF);
}

}  // namespace

std::optional<FileEncoding> ParseFileEncoding(std::string_view name) {
  const std::string lower = LowerAscii(name);
  if (lower == "utf-8" || lower == "utf8") return FileEncoding::kUtf8;
  if (lower == "utf-8-bom") return FileEncoding::kUtf8Bom;
  if (lower == "utf-16le" || lower == "utf-16") return FileEncoding::kUtf16Le;
  return std::nullopt;
}

std::string EncodeFile(std::string_view utf8, FileEncoding encoding) {
  switch (encoding) {
    case FileEncoding::kUtf8:
      return std::string(utf8);
    case FileEncoding::kUtf8Bom:
      return "\xEF\xBB\xBF" + std::string(utf8);
    case FileEncoding::kUtf16Le:
      break;
  }
  std::string out = "\xFF\xFE";
  out.reserve(2 + 2 * utf8.size());
  for (const char32_t c : DecodeUtf8(utf8)) {
    if (c < 0x10000) {
      AppendUnit(out, c);
    } else {
      AppendUnit(out, 0xD800 + ((c - 0x10000) >> 10));
      AppendUnit(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return out;
}

}  // namespace receiver
