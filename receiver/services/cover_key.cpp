#include "receiver/services/cover_key.h"

#include <charconv>
#include <cstdint>

#include "receiver/songs/upper_case.h"
#include "receiver/system/ascii.h"

namespace receiver {

namespace {

std::string Fold(std::string_view text) {
  return UpperCaseText(TrimSpace(text));
}

std::string HashKey(std::string_view folded) {
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

}  // namespace

std::string CoverKey(std::string_view artist, std::string_view album) {
  return HashKey(Fold(artist) + "\n" + Fold(album));
}

std::string RecordingKey(std::string_view artist, std::string_view album,
                         std::string_view title) {
  return HashKey(Fold(artist) + "\n" + Fold(album) + "\n" + Fold(title));
}

bool MissStillFresh(std::string_view kept, std::int64_t unix_seconds) {
  std::int64_t since = 0;
  const char* const end = kept.data() + kept.size();
  const auto [stop, error] = std::from_chars(kept.data(), end, since);
  if (error != std::errc() || stop != end) return false;
  return since <= unix_seconds && unix_seconds - since < kCoverMissSeconds;
}

}  // namespace receiver
