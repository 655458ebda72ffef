#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace receiver {

// Answers looked up before, one file each in a folder of the song folder:
// KEY + `ending` holds what was found, KEY.none that nothing was, for a day
// (MissStillFresh). The songs' lengths (lengths\) and lyrics (lyrics\).
class AnswerCache {
 public:
  AnswerCache(const std::wstring& folder, std::string_view name,
              std::wstring ending, std::size_t most_bytes);

  enum class Look { kUnknown, kNone, kFound };
  struct Cached {
    Look look = Look::kUnknown;
    std::string text;  // kFound
  };

  Cached Find(const std::string& key, std::int64_t unix_seconds) const;
  // Each returns an empty string, or what went wrong.
  std::string Keep(const std::string& key, std::string_view text);
  std::string KeepNone(const std::string& key, std::int64_t unix_seconds);

 private:
  std::wstring folder_;
  std::wstring ending_;
  std::size_t most_bytes_;
};

}  // namespace receiver
