#include "receiver/settings/settings_watch.h"

#include <windows.h>

#include <optional>
#include <utility>

#include "receiver/settings/settings_load.h"
#include "receiver/system/code_page.h"
#include "receiver/system/files.h"
#include "receiver/system/lock.h"
#include "receiver/system/thread.h"

namespace receiver {

namespace {

constexpr DWORD kPollMs = 500;

struct Stamp {
  bool exists = false;
  FILETIME written = {};
  ULONGLONG size = 0;
  bool operator==(const Stamp& other) const {
    return exists == other.exists &&
           CompareFileTime(&written, &other.written) == 0 && size == other.size;
  }
  bool operator!=(const Stamp& other) const { return !(*this == other); }
};

Stamp StampOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  Stamp stamp;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
    return stamp;
  }
  stamp.exists = true;
  stamp.written = data.ftLastWriteTime;
  stamp.size =
      (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return stamp;
}

}  // namespace

struct FileWatch::State {
  std::wstring path;
  Event stop;
  SRWLOCK lock = SRWLOCK_INIT;
  std::function<void(std::string)> changed;
  std::function<void(std::string)> refused;
};

FileWatch::FileWatch(std::wstring path,
                     std::function<void(std::string)> changed,
                     std::function<void(std::string)> refused)
    : state_(std::make_shared<State>()) {
  state_->path = std::move(path);
  state_->changed = std::move(changed);
  state_->refused = std::move(refused);
  const Stamp first = StampOf(state_->path);
  thread_ = std::make_unique<Thread>([state = state_, first] {
    Stamp applied = first;
    Stamp seen = first;
    while (!state->stop.Wait(kPollMs)) {
      const Stamp now = StampOf(state->path);
      // An editor may still be writing: a change counts once it holds.
      const bool settled = now == seen;
      seen = now;
      if (!settled || now == applied || !now.exists) continue;
      std::string problem;
      bool too_large = false;
      std::optional<std::string> bytes =
          ReadBoundedFile(state->path, problem, kMaxSettingsFile, &too_large);
      if (!bytes && !too_large) continue;
      applied = now;
      const LockHold hold(state->lock);
      if (bytes && state->changed) state->changed(std::move(*bytes));
      if (!bytes && state->refused) {
        state->refused(WideToUtf8(state->path) + " is over " +
                       std::to_string(kMaxSettingsFile / 1024) +
                       " KB, too large for a settings file: not read, the "
                       "settings in use stay");
      }
    }
  });
}

FileWatch::~FileWatch() { Stop(); }

bool FileWatch::started() const { return thread_->started(); }

void FileWatch::Stop() {
  state_->stop.Set();
  const LockHold hold(state_->lock);
  state_->changed = nullptr;
  state_->refused = nullptr;
}

}  // namespace receiver
