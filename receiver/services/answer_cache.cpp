#include "receiver/services/answer_cache.h"

#include <windows.h>

#include <utility>

#include "receiver/services/cover_key.h"
#include "receiver/songs/song_folder.h"
#include "receiver/system/code_page.h"
#include "receiver/system/files.h"

namespace receiver {

AnswerCache::AnswerCache(const std::wstring& folder, std::string_view name,
                         std::wstring ending, std::size_t most_bytes)
    : folder_(FolderFile(folder, name)),
      ending_(std::move(ending)),
      most_bytes_(most_bytes) {}

AnswerCache::Cached AnswerCache::Find(const std::string& key,
                                      std::int64_t unix_seconds) const {
  const std::wstring stem = folder_ + L"\\" + Utf8ToWide(key);
  std::string problem;
  if (std::optional<std::string> text =
          ReadBoundedFile(stem + ending_, problem, most_bytes_)) {
    return {Look::kFound, std::move(*text)};
  }
  if (std::optional<std::string> when =
          ReadBoundedFile(stem + L".none", problem, 32)) {
    if (MissStillFresh(*when, unix_seconds)) return {Look::kNone, {}};
  }
  return {};
}

std::string AnswerCache::Keep(const std::string& key, std::string_view text) {
  CreateDirectoryW(folder_.c_str(), nullptr);
  const std::wstring stem = folder_ + L"\\" + Utf8ToWide(key);
  RemoveFile(stem + L".none");
  return ReplaceFileContents(stem + ending_, text);
}

std::string AnswerCache::KeepNone(const std::string& key,
                                  std::int64_t unix_seconds) {
  CreateDirectoryW(folder_.c_str(), nullptr);
  return ReplaceFileContents(folder_ + L"\\" + Utf8ToWide(key) + L".none",
                             std::to_string(unix_seconds));
}

}  // namespace receiver
