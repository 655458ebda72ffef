// Any query decodes without fault into text that is clean UTF-8: no control
// characters, at most 500 characters, trimmed, unchanged by a second
// clean-up. And values percent-encoded by a sender come back byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "receiver/songs/clean_text.h"
#include "receiver/system/utf8.h"
#include "receiver/web/query.h"

namespace {

void CheckClean(const std::string& text) {
  const std::u32string characters = receiver::DecodeUtf8(text);
  std::string again;
  for (const char32_t c : characters) {
    if (c <= 0x1F || (c >= 0x7F && c <= 0x9F)) abort();
    receiver::AppendUtf8(again, c);
  }
  if (again != text) abort();  // not valid UTF-8
  if (characters.size() > receiver::kMaxValueCharacters) abort();
  if (!text.empty() && (text.front() == ' ' || text.back() == ' ')) abort();
  if (receiver::CleanText(text) != text) abort();
}

std::string Encode(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    const unsigned char byte = static_cast<unsigned char>(c);
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto report = receiver::ParseReportQuery(input);
  if (report) {
    for (const std::string* value :
         {&report->artist, &report->album, &report->title}) {
      if (value->size() > input.size()) abort();
      CheckClean(receiver::CleanText(*value));
    }
  }
  const std::size_t third = size / 3;
  const std::string_view artist = input.substr(0, third);
  const std::string_view album = input.substr(third, third);
  const std::string_view title = input.substr(2 * third);
  const auto sent = receiver::ParseReportQuery("artist=" + Encode(artist) +
                                               "&album=" + Encode(album) +
                                               "&title=" + Encode(title));
  if (!sent || sent->artist != artist || sent->album != album ||
      sent->title != title) {
    abort();
  }
  return 0;
}
