#include "receiver/songs/song_files.h"

#include <windows.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

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
    std::optional<std::string> pending;
    bool failing = false;
    DWORD delay_ms = 0;
    ULONGLONG next_try = 0;  // GetTickCount64 time; 0: at once
  };
  struct Row {
    std::string name;
    std::string start;
    std::string row;
  };
  std::wstring folder;
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE wake = CONDITION_VARIABLE_INIT;
  // By file name, in the order they first came.
  std::vector<std::pair<std::wstring, Slot>> slots;

  Slot& SlotFor(const std::wstring& name) {
    for (auto& [slot_name, slot] : slots) {
      if (slot_name == name) return slot;
    }
    return slots.emplace_back(name, Slot()).second;
  }
  std::deque<Row> rows;
  bool rows_failing = false;
  ULONGLONG rows_next_try = 0;
  bool stopping = false;
};

namespace {

using WriterState = SongFileWriter::State;
using Taken = std::vector<std::pair<std::wstring, std::string>>;

// A reader usually lets go within milliseconds; one that holds on for long
// costs a try a second.
constexpr DWORD kFirstRetryMs = 50;
constexpr DWORD kLongestRetryMs = 1000;
// A stuck disk is not waited for at exit, which must end within the few
// seconds Windows gives at log-off.
constexpr DWORD kFinishWaitMs = 2000;

// Picks the files and log rows due now and takes them; when none is due,
// waits for a new song, a retry time or the end. Called with the lock held.
bool TakeDue(WriterState& state, Taken& taken,
             std::deque<WriterState::Row>& rows) {
  while (true) {
    const ULONGLONG now = GetTickCount64();
    ULONGLONG wait = INFINITE;
    for (auto& [name, slot] : state.slots) {
      if (!slot.pending) continue;
      if (state.stopping || slot.next_try <= now) {
        taken.emplace_back(name, std::move(*slot.pending));
        slot.pending.reset();
      } else if (slot.next_try - now < wait) {
        wait = slot.next_try - now;
      }
    }
    if (!state.rows.empty()) {
      if (state.stopping || state.rows_next_try <= now) {
        rows.swap(state.rows);
      } else if (state.rows_next_try - now < wait) {
        wait = state.rows_next_try - now;
      }
    }
    if (!taken.empty() || !rows.empty()) return true;
    if (state.stopping) return false;
    SleepConditionVariableSRW(&state.wake, &state.lock,
                              static_cast<DWORD>(wait), 0);
  }
}

std::string AppendRow(const std::wstring& folder, const WriterState::Row& row) {
  const std::wstring logs = folder + L"\\log";
  if (!CreateDirectoryW(logs.c_str(), nullptr) &&
      GetLastError() != ERROR_ALREADY_EXISTS) {
    return Failure("cannot make the folder", logs);
  }
  const std::wstring path = logs + L"\\" + Utf8ToWide(row.name);
  File file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsOpen()) return Failure("cannot open", path);
  LARGE_INTEGER size = {};
  std::string bytes = row.row;
  if (GetFileSizeEx(file.Get(), &size) && size.QuadPart == 0) {
    bytes = row.start + bytes;
  }
  if (!WriteAll(file.Get(), bytes) || !FlushFileBuffers(file.Get())) {
    return Failure("cannot write", path);
  }
  return {};
}

void WriteSongFiles(const std::shared_ptr<WriterState>& state) {
  AcquireSRWLockExclusive(&state->lock);
  while (true) {
    Taken taken;
    std::deque<WriterState::Row> rows;
    const bool stopping = state->stopping;
    if (!TakeDue(*state, taken, rows)) break;
    ReleaseSRWLockExclusive(&state->lock);
    std::vector<std::string> errors;
    for (const auto& [name, contents] : taken) {
      errors.push_back(ReplaceFile(state->folder + L"\\" + name, contents));
    }
    std::string row_error;
    while (!rows.empty() && row_error.empty()) {
      row_error = AppendRow(state->folder, rows.front());
      if (row_error.empty()) rows.pop_front();
    }
    std::vector<std::string> messages;
    AcquireSRWLockExclusive(&state->lock);
    for (std::size_t i = 0; i < taken.size(); ++i) {
      WriterState::Slot& slot = state->SlotFor(taken[i].first);
      if (errors[i].empty()) {
        if (slot.failing) {
          messages.push_back(WideToUtf8(taken[i].first) + " written again");
        }
        slot.failing = false;
        slot.delay_ms = 0;
        slot.next_try = 0;
        continue;
      }
      if (!slot.failing) {
        messages.push_back(errors[i] +
                           "; the page has the new song, the file follows as "
                           "soon as it can be replaced");
      }
      slot.failing = true;
      slot.delay_ms = slot.delay_ms == 0
                          ? kFirstRetryMs
                          : std::min(2 * slot.delay_ms, kLongestRetryMs);
      slot.next_try = GetTickCount64() + slot.delay_ms;
      // A newer song that came meanwhile wins.
      if (!slot.pending) slot.pending = std::move(taken[i].second);
    }
    if (!row_error.empty() && !state->rows_failing) {
      messages.push_back(row_error + "; the playout log is tried again");
    }
    state->rows_failing = !row_error.empty();
    state->rows_next_try = GetTickCount64() + kLongestRetryMs;
    // Rows that could not be written come before newer ones.
    state->rows.insert(state->rows.begin(), rows.begin(), rows.end());
    // Printed without the lock: the server's Write never waits on a console.
    ReleaseSRWLockExclusive(&state->lock);
    for (const std::string& message : messages) {
      PrintError("trackwire_receiver: " + message);
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
  state_->folder = folder;
  thread_ =
      std::make_unique<Thread>([state = state_] { WriteSongFiles(state); });
}

SongFileWriter::~SongFileWriter() { Finish(); }

bool SongFileWriter::started() const { return thread_->started(); }

void SongFileWriter::Write(std::vector<OutputFile> files) {
  {
    const LockHold hold(state_->lock);
    for (OutputFile& file : files) {
      state_->SlotFor(Utf8ToWide(file.name)).pending = std::move(file.bytes);
    }
  }
  WakeConditionVariable(&state_->wake);
}

void SongFileWriter::Append(std::string name, std::string start,
                            std::string row) {
  {
    const LockHold hold(state_->lock);
    state_->rows.push_back({std::move(name), std::move(start), std::move(row)});
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
