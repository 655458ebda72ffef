#include "receiver/songs/clean_text.h"

#include "receiver/system/utf8.h"

namespace receiver {

std::string CleanText(std::string_view utf8) {
  std::u32string kept;
  for (const char32_t c : DecodeUtf8(utf8)) {
    if (c <= 0x1F || (c >= 0x7F && c <= 0x9F)) continue;
    if (kept.size() == kMaxValueCharacters) break;
    kept += c;
  }
  std::size_t begin = 0;
  std::size_t end = kept.size();
  while (begin < end && kept[begin] == U' ') ++begin;
  while (end > begin && kept[end - 1] == U' ') --end;
  std::string out;
  out.reserve(end - begin);
  for (std::size_t i = begin; i < end; ++i) AppendUtf8(out, kept[i]);
  return out;
}

}  // namespace receiver
