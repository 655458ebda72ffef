#include "receiver/outbound/listen_journal.h"

#include <windows.h>

#include <algorithm>

#include "receiver/songs/settings_watch.h"
#include "receiver/songs/song_files.h"
#include "receiver/system/code_page.h"
#include "receiver/system/system_message.h"

namespace receiver {

namespace {

// Some thousand listens, a week or more without the service.
constexpr std::size_t kMaxJournal = 4 * 1024 * 1024;

bool Same(const Listen& a, const Listen& b) {
  return a.listened_at == b.listened_at && a.song.artist == b.song.artist &&
         a.song.album == b.song.album && a.song.title == b.song.title;
}

}  // namespace

ListenJournal::ListenJournal(std::wstring folder)
    : path_(std::move(folder) + L"\\listens.jsonl") {}

std::vector<Listen> ListenJournal::Load(std::string& problem) {
  if (const std::optional<std::string> bytes =
          ReadSmallFile(path_, problem, kMaxJournal)) {
    listens_ = ParseListenLines(*bytes);
  }
  return listens_;
}

std::string ListenJournal::Add(const Listen& listen) {
  for (const Listen& kept : listens_) {
    if (Same(kept, listen)) return {};
  }
  listens_.push_back(listen);
  return Write();
}

std::string ListenJournal::Remove(const Listen& listen) {
  const auto gone = std::remove_if(
      listens_.begin(), listens_.end(),
      [&listen](const Listen& kept) { return Same(kept, listen); });
  if (gone == listens_.end()) return {};
  listens_.erase(gone, listens_.end());
  return Write();
}

// The file goes with the last listen.
std::string ListenJournal::Write() {
  if (listens_.empty()) {
    if (DeleteFileW(path_.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) {
      return {};
    }
    return "cannot remove " + WideToUtf8(path_) + ": " +
           SystemMessage(GetLastError());
  }
  std::string text;
  for (const Listen& listen : listens_) text += ListenLine(listen);
  return ReplaceFile(path_, text);
}

std::string ListenId(const Listen& listen) {
  return std::to_string(listen.listened_at) + " " + listen.song.artist + "\n" +
         listen.song.title;
}

}  // namespace receiver
