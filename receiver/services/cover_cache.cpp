#include "receiver/services/cover_cache.h"
#include "receiver/songs/own_files.h"
#include "receiver/songs/song_folder.h"

#include <windows.h>

#include <utility>

#include "receiver/services/cover_key.h"
#include "receiver/services/image_type.h"
#include "receiver/songs/own_files.h"
#include "receiver/songs/song_folder.h"
#include "receiver/system/code_page.h"
#include "receiver/system/files.h"

namespace receiver {

namespace {

// Longer than any address of the archive or a mirror.
constexpr std::size_t kMaxCoverUrl = 2048;

}  // namespace

CoverCache::CoverCache(std::wstring folder)
    : folder_(std::move(folder)), covers_(FolderFile(folder_, kCoversFolder)) {}

CoverCache::Cached CoverCache::Find(const std::string& key,
                                    std::int64_t unix_seconds) const {
  const std::wstring stem = covers_ + L"\\" + Utf8ToWide(key);
  std::string problem;
  if (std::optional<std::string> bytes =
          ReadBoundedFile(stem + L".jpg", problem, kMaxCoverBytes)) {
    const std::string_view type = ImageType(*bytes);
    if (!type.empty()) {
      Cached cached;
      cached.look = Look::kFound;
      cached.image.type = std::string(type);
      cached.image.bytes =
          std::make_shared<const std::string>(std::move(*bytes));
      cached.image.url =
          ReadBoundedFile(stem + L".url", problem, kMaxCoverUrl).value_or("");
      return cached;
    }
  }
  if (std::optional<std::string> when =
          ReadBoundedFile(stem + L".none", problem, 32)) {
    if (MissStillFresh(*when, unix_seconds)) return {Look::kNone, {}};
  }
  return {};
}

std::string CoverCache::Keep(const std::string& key, std::string_view bytes,
                             std::string_view url) {
  CreateDirectoryW(covers_.c_str(), nullptr);
  const std::wstring stem = covers_ + L"\\" + Utf8ToWide(key);
  RemoveFile(stem + L".none");
  const std::string failure = ReplaceFileContents(stem + L".jpg", bytes);
  if (!failure.empty() || url.size() > kMaxCoverUrl) return failure;
  return ReplaceFileContents(stem + L".url", url);
}

std::string CoverCache::KeepNone(const std::string& key,
                                 std::int64_t unix_seconds) {
  CreateDirectoryW(covers_.c_str(), nullptr);
  return ReplaceFileContents(covers_ + L"\\" + Utf8ToWide(key) + L".none",
                             std::to_string(unix_seconds));
}

std::optional<CoverCache::Image> CoverCache::ReadPlaceholder(
    const std::string& file, std::string& problem) const {
  std::wstring path = Utf8ToWide(file);
  const bool full = path.size() > 2 && (path[1] == L':' || path[0] == L'\\');
  if (!full) path = folder_ + L"\\" + path;
  std::optional<std::string> bytes =
      ReadBoundedFile(path, problem, kMaxCoverBytes);
  if (!bytes) {
    if (problem.empty()) problem = "there is no file " + WideToUtf8(path);
    return std::nullopt;
  }
  const std::string_view type = ImageType(*bytes);
  if (type.empty()) {
    problem = WideToUtf8(path) + " is not a JPEG, PNG, GIF or WebP image";
    return std::nullopt;
  }
  return Image{std::make_shared<const std::string>(std::move(*bytes)),
               std::string(type)};
}

}  // namespace receiver
