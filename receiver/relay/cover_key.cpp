#include "receiver/relay/cover_key.h"

#include <cstdint>

#include "receiver/text/upper_case.h"

namespace receiver {

namespace {

std::string_view Trimmed(std::string_view text) {
  const auto space = [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
  };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string CoverKey(std::string_view artist, std::string_view album) {
  const std::string folded =
      UpperCaseText(Trimmed(artist)) + "\n" + UpperCaseText(Trimmed(album));
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : folded) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  constexpr char kHex[] = "0123456789abcdef";
  std::string key(16, '0');
  for (int i = 15; i >= 0; --i) {
    key[static_cast<std::size_t>(i)] = kHex[hash & 0x0F];
    hash >>= 4;
  }
  return key;
}

}  // namespace receiver
