#include "receiver/songs/song_files.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "receiver/system/code_page.h"
#include "receiver/system/console.h"
#include "receiver/system/lock.h"
#include "receiver/system/system_message.h"
#include "receiver/system/thread.h"
#include "receiver/text/song_file_read.h"

namespace receiver {

namespace {

// Four fields of 500 characters, escaped, stay far below this.
constexpr DWORD kMaxSongFile = 64 * 1024;

class File {
 public:
  explicit File(HANDLE handle) : handle_(handle) {}
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() { Close(); }
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }
  void Close() {
    if (IsOpen()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

std::string Failure(const char* what, const std::wstring& path) {
  const DWORD error = GetLastError();
  return std::string(what) + " " + WideToUtf8(path) + ": " +
         SystemMessage(error);
}

bool WriteAll(HANDLE file, std::string_view contents) {
  while (!contents.empty()) {
    DWORD written = 0;
    const DWORD chunk =
        static_cast<DWORD>(std::min<std::size_t>(contents.size(), 1 << 20));
    if (!WriteFile(file, contents.data(), chunk, &written, nullptr) ||
        written == 0) {
      return false;
    }
    contents.remove_prefix(written);
  }
  return true;
}

}  // namespace

std::string ReplaceFile(const std::wstring& path, std::string_view contents) {
  const std::wstring temporary =
      path + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  File file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsOpen()) return Failure("cannot create", temporary);
  if (!WriteAll(file.Get(), contents)) {
    const std::string failure = Failure("cannot write", temporary);
    file.Close();
    DeleteFileW(temporary.c_str());
    return failure;
  }
  file.Close();
  if (!MoveFileExW(temporary.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING)) {
    const std::string failure = Failure("cannot replace", path);
    DeleteFileW(temporary.c_str());
    return failure;
  }
  return {};
}

struct SongFileWriter::State {
  struct Slot {
    std::wstring path;
    std::optional<std::string> pending;
    bool failing = false;
    DWORD delay_ms = 0;
    ULONGLONG next_try = 0;  // GetTickCount64 time; 0: at once
  };
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE wake = CONDITION_VARIABLE_INIT;
  Slot slots[kSongFileCount];
  bool stopping = false;
};

namespace {

using WriterState = SongFileWriter::State;

// A reader usually lets go within milliseconds; one that holds on for long
// costs a try a second.
constexpr DWORD kFirstRetryMs = 50;
constexpr DWORD kLongestRetryMs = 1000;
// A stuck disk is not waited for at exit, which must end within the few
// seconds Windows gives at log-off.
constexpr DWORD kFinishWaitMs = 2000;

std::wstring FileName(const std::wstring& path) {
  return path.substr(path.find_last_of(L'\\') + 1);
}

// Picks the slots due now and takes their contents; when none is due, waits
// for a new song, a retry time or the end. Called with the lock held.
bool TakeDue(WriterState& state,
             std::optional<std::string> (&taken)[kSongFileCount]) {
  while (true) {
    const ULONGLONG now = GetTickCount64();
    ULONGLONG wait = INFINITE;
    bool due = false;
    for (std::size_t i = 0; i < kSongFileCount; ++i) {
      WriterState::Slot& slot = state.slots[i];
      if (!slot.pending) continue;
      if (state.stopping || slot.next_try <= now) {
        taken[i] = std::move(slot.pending);
        slot.pending.reset();
        due = true;
      } else if (slot.next_try - now < wait) {
        wait = slot.next_try - now;
      }
    }
    if (due) return true;
    if (state.stopping) return false;
    SleepConditionVariableSRW(&state.wake, &state.lock,
                              static_cast<DWORD>(wait), 0);
  }
}

void WriteSongFiles(const std::shared_ptr<WriterState>& state) {
  AcquireSRWLockExclusive(&state->lock);
  while (true) {
    std::optional<std::string> taken[kSongFileCount];
    const bool stopping = state->stopping;
    if (!TakeDue(*state, taken)) break;
    ReleaseSRWLockExclusive(&state->lock);
    std::string errors[kSongFileCount];
    for (std::size_t i = 0; i < kSongFileCount; ++i) {
      if (taken[i]) errors[i] = ReplaceFile(state->slots[i].path, *taken[i]);
    }
    std::string messages[kSongFileCount];
    AcquireSRWLockExclusive(&state->lock);
    for (std::size_t i = 0; i < kSongFileCount; ++i) {
      if (!taken[i]) continue;
      WriterState::Slot& slot = state->slots[i];
      if (errors[i].empty()) {
        if (slot.failing) {
          messages[i] = WideToUtf8(FileName(slot.path)) + " written again";
        }
        slot.failing = false;
        slot.delay_ms = 0;
        slot.next_try = 0;
        continue;
      }
      if (!slot.failing) {
        messages[i] = errors[i] +
                      "; the page has the new song, the file follows as soon "
                      "as it can be replaced";
      }
      slot.failing = true;
      slot.delay_ms = slot.delay_ms == 0
                          ? kFirstRetryMs
                          : std::min(2 * slot.delay_ms, kLongestRetryMs);
      slot.next_try = GetTickCount64() + slot.delay_ms;
      // A newer song that came meanwhile wins.
      if (!slot.pending) slot.pending = std::move(taken[i]);
    }
    // Printed without the lock: the server's Write never waits on a console.
    ReleaseSRWLockExclusive(&state->lock);
    for (const std::string& message : messages) {
      if (!message.empty()) PrintError("trackwire_receiver: " + message);
    }
    AcquireSRWLockExclusive(&state->lock);
    // At the end each file gets one last try, not a retry loop.
    if (stopping) break;
  }
  ReleaseSRWLockExclusive(&state->lock);
}

}  // namespace

SongFileWriter::SongFileWriter(const std::wstring& folder)
    : state_(std::make_shared<State>()) {
  for (std::size_t i = 0; i < kSongFileCount; ++i) {
    state_->slots[i].path = folder + L"\\" + kSongFileNames[i];
  }
  thread_ =
      std::make_unique<Thread>([state = state_] { WriteSongFiles(state); });
}

SongFileWriter::~SongFileWriter() { Finish(); }

bool SongFileWriter::started() const { return thread_->started(); }

void SongFileWriter::Write(std::string text, std::string json,
                           const Song& song) {
  std::string contents[kSongFileCount] = {std::move(text), std::move(json),
                                          song.artist, song.album, song.title};
  {
    const LockHold hold(state_->lock);
    for (std::size_t i = 0; i < kSongFileCount; ++i) {
      state_->slots[i].pending = std::move(contents[i]);
    }
  }
  WakeConditionVariable(&state_->wake);
}

void SongFileWriter::Finish() {
  bool already = false;
  {
    const LockHold hold(state_->lock);
    already = state_->stopping;
    state_->stopping = true;
  }
  if (already) return;
  WakeConditionVariable(&state_->wake);
  thread_->Wait(kFinishWaitMs);
}

std::optional<Song> ReadBackSong(const std::wstring& folder,
                                 std::string& problem) {
  const std::wstring path = folder + L"\\now_playing.json";
  File file(CreateFileW(path.c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                        nullptr));
  if (!file.IsOpen()) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      SetLastError(error);
      problem = Failure("cannot read", path);
    }
    return std::nullopt;
  }
  std::string contents(kMaxSongFile + 1, '\0');
  DWORD read = 0;
  if (!ReadFile(file.Get(), contents.data(),
                static_cast<DWORD>(contents.size()), &read, nullptr)) {
    problem = Failure("cannot read", path);
    return std::nullopt;
  }
  contents.resize(read);
  const SongFileRead song =
      contents.size() > kMaxSongFile ? SongFileRead() : ParseSongFile(contents);
  if (song.state == SongFileState::kUnreadable) {
    problem = "ignoring " + WideToUtf8(path) +
              ": it holds no song (the page starts with \"Nothing yet\")";
  }
  if (song.state != SongFileState::kSong) return std::nullopt;
  return song.song;
}

std::string PrepareFolder(const std::wstring& folder, std::wstring& full_path) {
  const std::wstring name = folder.empty() ? L"." : folder;
  const DWORD length = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (length == 0) return Failure("cannot use the folder", name);
  std::wstring full(length, L'\0');
  const DWORD written =
      GetFullPathNameW(name.c_str(), length, full.data(), nullptr);
  if (written == 0 || written >= length) {
    return Failure("cannot use the folder", name);
  }
  full.resize(written);
  const DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (!CreateDirectoryW(full.c_str(), nullptr)) {
      return Failure("cannot make the folder", full);
    }
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return "not a folder: " + WideToUtf8(full);
  }
  while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) {
    full.pop_back();
  }
  // Find out now, not at the first song, when the folder is read-only.
  const std::wstring probe = full + L"\\now_playing." +
                             std::to_wstring(GetCurrentProcessId()) + L".tmp";
  File file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                        nullptr));
  if (!file.IsOpen()) return Failure("cannot write in the folder", full);
  full_path = full;
  return {};
}

}  // namespace receiver
