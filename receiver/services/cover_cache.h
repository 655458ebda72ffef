#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace receiver {

// The covers found before, under the song folder's covers\: KEY.jpg holds an
// image (in whatever format the archive had), KEY.url the address it came
// from, KEY.none says there was none, for a day (MissStillFresh). The song
// folder's cover.jpg, the current song's, goes through the song files' writer.
class CoverCache {
 public:
  explicit CoverCache(std::wstring folder);

  struct Image {
    std::shared_ptr<const std::string> bytes;
    std::string type;
    std::string url = {};  // where it came from, when that is known
  };
  enum class Look { kUnknown, kNone, kFound };
  struct Cached {
    Look look = Look::kUnknown;
    Image image;
  };

  Cached Find(const std::string& key, std::int64_t unix_seconds) const;
  // Each returns an empty string, or what went wrong.
  std::string Keep(const std::string& key, std::string_view bytes,
                   std::string_view url);
  std::string KeepNone(const std::string& key, std::int64_t unix_seconds);

  // The user's own image for songs without a cover (a full path, or a name in
  // the song folder); nothing when it cannot be read, and `problem` says why.
  std::optional<Image> ReadPlaceholder(const std::string& file,
                                       std::string& problem) const;

 private:
  std::wstring folder_;
  std::wstring covers_;
};

// Covers larger than this are not kept.
inline constexpr std::size_t kMaxCoverBytes = 8 * 1024 * 1024;

}  // namespace receiver
