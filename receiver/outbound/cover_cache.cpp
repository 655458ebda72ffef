#include "receiver/outbound/cover_cache.h"

#include <windows.h>

#include <cstdlib>
#include <utility>

#include "receiver/songs/settings_watch.h"
#include "receiver/songs/song_files.h"
#include "receiver/system/code_page.h"
#include "receiver/system/system_message.h"
#include "receiver/text/image_type.h"

namespace receiver {

namespace {

// A miss is asked again after this: the archive grows.
constexpr std::int64_t kNoneSeconds = 24 * 60 * 60;

std::string Removed(const std::wstring& path) {
  if (DeleteFileW(path.c_str())) return {};
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
  return "cannot remove " + WideToUtf8(path) + ": " + SystemMessage(error);
}

}  // namespace

CoverCache::CoverCache(std::wstring folder)
    : folder_(std::move(folder)), covers_(folder_ + L"\\covers") {}

CoverCache::Cached CoverCache::Find(const std::string& key,
                                    std::int64_t unix_seconds) const {
  const std::wstring stem = covers_ + L"\\" + Utf8ToWide(key);
  std::string problem;
  if (std::optional<std::string> bytes =
          ReadSmallFile(stem + L".jpg", problem, kMaxCoverBytes)) {
    const std::string_view type = ImageType(*bytes);
    if (!type.empty()) {
      Cached cached;
      cached.look = Look::kFound;
      cached.image.type = std::string(type);
      cached.image.bytes =
          std::make_shared<const std::string>(std::move(*bytes));
      return cached;
    }
  }
  if (std::optional<std::string> when =
          ReadSmallFile(stem + L".none", problem)) {
    const std::int64_t since = std::strtoll(when->c_str(), nullptr, 10);
    if (since <= unix_seconds && unix_seconds - since < kNoneSeconds) {
      return {Look::kNone, {}};
    }
  }
  return {};
}

std::string CoverCache::Keep(const std::string& key, std::string_view bytes) {
  CreateDirectoryW(covers_.c_str(), nullptr);
  const std::wstring stem = covers_ + L"\\" + Utf8ToWide(key);
  Removed(stem + L".none");
  return ReplaceFile(stem + L".jpg", bytes);
}

std::string CoverCache::KeepNone(const std::string& key,
                                 std::int64_t unix_seconds) {
  CreateDirectoryW(covers_.c_str(), nullptr);
  return ReplaceFile(covers_ + L"\\" + Utf8ToWide(key) + L".none",
                     std::to_string(unix_seconds));
}

std::string CoverCache::Show(std::string_view bytes) {
  return ReplaceFile(folder_ + L"\\cover.jpg", bytes);
}

std::string CoverCache::ShowNone() { return Removed(folder_ + L"\\cover.jpg"); }

std::optional<CoverCache::Image> CoverCache::ReadPlaceholder(
    const std::string& file, std::string& problem) const {
  std::wstring path = Utf8ToWide(file);
  const bool full = path.size() > 2 && (path[1] == L':' || path[0] == L'\\');
  if (!full) path = folder_ + L"\\" + path;
  std::optional<std::string> bytes =
      ReadSmallFile(path, problem, kMaxCoverBytes);
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
