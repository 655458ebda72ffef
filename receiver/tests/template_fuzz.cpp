// Any template either parses or names its problem, and expands without fault
// into valid UTF-8 whose cut fields keep their limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "receiver/songs/clean_text.h"
#include "receiver/songs/template.h"
#include "receiver/system/utf8.h"

namespace {

bool ValidUtf8(std::string_view text) {
  std::string again;
  for (const char32_t c : receiver::DecodeUtf8(text)) {
    receiver::AppendUtf8(again, c);
  }
  return again == text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // The first third is the template, the rest the song's fields.
  const std::size_t cut = size / 3;
  const receiver::ParsedTemplate parsed =
      receiver::ParseTemplate(input.substr(0, cut));
  if (!parsed.parts) {
    if (parsed.error.empty()) abort();
    return 0;
  }
  const std::string_view rest = input.substr(cut);
  receiver::Song song;
  song.artist = receiver::CleanText(rest.substr(0, rest.size() / 3));
  song.album =
      receiver::CleanText(rest.substr(rest.size() / 3, rest.size() / 3));
  song.title = receiver::CleanText(rest.substr(2 * (rest.size() / 3)));
  for (const auto new_line :
       {receiver::NewLine::kCrLf, receiver::NewLine::kSpace}) {
    const std::string out =
        receiver::ExpandTemplate(*parsed.parts, song, new_line);
    if (ValidUtf8(input.substr(0, cut)) && !ValidUtf8(out)) abort();
  }
  const std::string chat = receiver::CutText(
      receiver::ExpandTemplate(*parsed.parts, song, receiver::NewLine::kSpace),
      400);
  if (receiver::DecodeUtf8(chat).size() > 400) abort();
  return 0;
}
