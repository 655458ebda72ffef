#include "receiver/songs/settings_watch.h"

#include <windows.h>

#include <optional>
#include <utility>

#include "receiver/songs/song_files.h"
#include "receiver/system/code_page.h"
#include "receiver/system/lock.h"
#include "receiver/system/secrets.h"
#include "receiver/system/system_message.h"
#include "receiver/system/thread.h"
#include "receiver/text/utf8.h"

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

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

std::optional<std::string> ReadSmallFile(const std::wstring& path,
                                         std::string& problem,
                                         std::size_t max_bytes) {
  const Handle file(
      CreateFileW(path.c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      problem = "cannot read " + WideToUtf8(path) + ": " + SystemMessage(error);
    }
    return std::nullopt;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) {
    problem = "cannot read " + WideToUtf8(path) + ": " +
              SystemMessage(GetLastError());
    return std::nullopt;
  }
  if (static_cast<ULONGLONG>(size.QuadPart) > max_bytes) {
    problem = WideToUtf8(path) + " is too large";
    return std::nullopt;
  }
  // One byte more than it should hold: a file that grew meanwhile shows.
  std::string bytes(static_cast<std::size_t>(size.QuadPart) + 1, '\0');
  DWORD read = 0;
  if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                &read, nullptr)) {
    problem = "cannot read " + WideToUtf8(path) + ": " +
              SystemMessage(GetLastError());
    return std::nullopt;
  }
  if (read > max_bytes) {
    problem = WideToUtf8(path) + " is too large";
    return std::nullopt;
  }
  bytes.resize(read);
  return bytes;
}

SettingsRead ReadSettingsBytes(std::string_view bytes,
                               const ReceiverSettings& previous) {
  return ReadSettings(
      bytes, [](std::string_view ansi) { return CodePageToUtf8(ansi, CP_ACP); },
      previous, [](std::string_view sealed) { return UnsealSecret(sealed); });
}

std::string SealSettingsFile(const std::wstring& path, std::string_view bytes) {
  std::string text(bytes);
  // A file Notepad saved in the ANSI code page comes back as UTF-8, with a
  // BOM so that Notepad reads it as such.
  if (!IsValidUtf8(bytes))
    text = "\xEF\xBB\xBF" + CodePageToUtf8(bytes, CP_ACP);
  const std::optional<std::string> sealed = SealSecrets(
      text, [](std::string_view clear) { return SealSecret(clear); });
  if (!sealed) return {};
  const std::string failure = ReplaceFile(path, *sealed);
  if (!failure.empty()) {
    return failure + "; its passwords and tokens stay in clear";
  }
  return {};
}

SettingsRead LoadSettingsFile(const std::wstring& folder,
                              std::string& problem) {
  const std::wstring path =
      folder + L"\\" + Utf8ToWide(std::string(kSettingsFileName));
  std::optional<std::string> bytes = ReadSmallFile(path, problem);
  if (!bytes && problem.empty()) {
    bytes = DefaultSettingsText();
    const std::string failure = ReplaceFile(path, *bytes);
    if (!failure.empty()) problem = failure;
  }
  if (!bytes) return {};
  const std::string failure = SealSettingsFile(path, *bytes);
  if (!failure.empty()) problem = failure;
  return ReadSettingsBytes(*bytes, {});
}

struct FileWatch::State {
  std::wstring path;
  Event stop;
  SRWLOCK lock = SRWLOCK_INIT;
  std::function<void(std::string)> changed;
};

FileWatch::FileWatch(std::wstring path,
                     std::function<void(std::string)> changed)
    : state_(std::make_shared<State>()) {
  state_->path = std::move(path);
  state_->changed = std::move(changed);
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
      std::optional<std::string> bytes = ReadSmallFile(state->path, problem);
      if (!bytes) continue;
      applied = now;
      const LockHold hold(state->lock);
      if (state->changed) state->changed(std::move(*bytes));
    }
  });
}

FileWatch::~FileWatch() { Stop(); }

bool FileWatch::started() const { return thread_->started(); }

void FileWatch::Stop() {
  state_->stop.Set();
  const LockHold hold(state_->lock);
  state_->changed = nullptr;
}

}  // namespace receiver
