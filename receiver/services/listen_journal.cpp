#include "receiver/services/listen_journal.h"

#include <windows.h>

#include <utility>

#include "receiver/system/clock.h"
#include "receiver/system/code_page.h"
#include "receiver/system/files.h"
#include "receiver/system/system_message.h"

namespace receiver {

namespace {

std::string Bounds() {
  return "(" + std::to_string(KeptListens::kMaxListens) + " or " +
         std::to_string(KeptListens::kMaxBytes >> 20) + " MB)";
}

// NAME.2024-05-01T101500Z.bad: a name of its own each time, so that nothing
// set aside before is replaced.
std::wstring AsideSuffix() {
  std::wstring suffix = L".";
  for (const char c : IsoUtc(UnixSecondsNow())) {
    if (c != ':') suffix += static_cast<wchar_t>(c);
  }
  return suffix + L".bad";
}

}  // namespace

ListenJournal::ListenJournal(std::wstring folder, std::wstring_view name,
                             Tell tell)
    : path_(std::move(folder) + L"\\" + std::wstring(name)),
      tell_(std::move(tell)) {}

void ListenJournal::Load() {
  std::string problem;
  const std::optional<std::string> bytes =
      ReadBoundedFile(path_, problem, KeptListens::kMaxBytes);
  if (!bytes) {
    if (!problem.empty()) SetAside(problem);
    return;
  }
  const ListenLines lines = ParseListenLines(*bytes);
  std::vector<std::string> dropped;
  for (const Listen& listen : lines.listens) listens_.Add(listen, dropped);
  if (!dropped.empty()) {
    told_full_ = true;
    tell_(WideToUtf8(path_) + " holds more listens than are kept " + Bounds() +
          ": the oldest " + std::to_string(dropped.size()) + " are left out");
  }
  if (lines.unread_count == 0) return;
  const std::string count = std::to_string(lines.unread_count) +
                            (lines.unread_count == 1 ? " line" : " lines");
  const std::wstring aside = path_ + AsideSuffix();
  const std::string failure =
      ReplaceFileContents(aside, lines.unread, Durability::kFlushed);
  if (!failure.empty()) {
    writable_ = false;
    tell_(count + " of " + WideToUtf8(path_) +
          " are no listens and cannot be kept aside (" + failure +
          "): the file is left as it is, and not written until the "
          "receiver starts again");
    return;
  }
  tell_(count + " of " + WideToUtf8(path_) + " are no listens: kept in " +
        WideToUtf8(aside));
  Write();
}

void ListenJournal::SetAside(const std::string& problem) {
  const std::wstring aside = MoveAside(path_, AsideSuffix());
  if (aside.empty()) {
    writable_ = false;
    tell_(problem +
          "; it is left as it is, and not written until the receiver starts "
          "again: new listens are kept only while it runs");
    return;
  }
  tell_(problem + "; it is kept as " + WideToUtf8(aside) +
        ", and its listens are not sent");
}

bool ListenJournal::Add(const Listen& listen,
                        std::vector<std::string>& dropped) {
  const std::size_t before = dropped.size();
  if (!listens_.Add(listen, dropped)) return false;
  if (dropped.size() > before && !told_full_) {
    told_full_ = true;
    tell_(WideToUtf8(path_) + " holds as many listens as are kept " + Bounds() +
          ": the oldest go to make room for new ones");
  }
  Write();
  return true;
}

void ListenJournal::Remove(const std::vector<std::string>& ids) {
  if (listens_.Remove(ids)) Write();
}

// The file goes with the last listen.
void ListenJournal::Write() {
  if (!writable_) return;
  std::string failure;
  if (listens_.size() == 0) {
    const DWORD error = DeleteFileW(path_.c_str()) ? 0 : GetLastError();
    if (error != 0 && error != ERROR_FILE_NOT_FOUND) {
      failure =
          "cannot remove " + WideToUtf8(path_) + ": " + SystemMessage(error);
    }
  } else {
    failure = ReplaceFileContents(path_, listens_.Text(), Durability::kFlushed);
  }
  // A failure that lasts is told once.
  if (!failure.empty() && failure != told_failure_) {
    tell_("listens are not kept on disk: " + failure);
  }
  told_failure_ = std::move(failure);
}

}  // namespace receiver
