#include "receiver/songs/song_files.h"

#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "receiver/songs/own_files.h"
#include "receiver/songs/pending_files.h"
#include "receiver/system/code_page.h"
#include "receiver/system/console.h"
#include "receiver/system/files.h"
#include "receiver/system/lock.h"
#include "receiver/system/system_message.h"
#include "receiver/system/thread.h"

namespace receiver {

struct SongFileWriter::State {
  struct Row {
    std::string name;
    std::string start;
    std::string row;
  };
  std::wstring folder;
  SongFileWriter::FileHealth health;
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE wake = CONDITION_VARIABLE_INIT;
  PendingFiles files;
  std::deque<Row> rows;
  bool rows_failing = false;
  ULONGLONG rows_next_try = 0;
  bool stopping = false;
};

namespace {

using WriterState = SongFileWriter::State;
using Taken = std::vector<PendingFiles::File>;

// A playout log that cannot be written is tried once a second.
constexpr DWORD kRowRetryMs = 1000;

// Picks the files and log rows due now and takes them; when none is due,
// waits for a new song, a retry time or the end. Called with the lock held.
bool TakeDue(WriterState& state, Taken& taken,
             std::deque<WriterState::Row>& rows) {
  while (true) {
    const ULONGLONG now = GetTickCount64();
    std::optional<std::uint64_t> files_wait;
    taken = state.files.TakeDue(now, state.stopping, files_wait);
    ULONGLONG wait = files_wait.value_or(INFINITE);
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
  const std::wstring logs =
      folder + L"\\" + Utf8ToWide(std::string(kLogFolder));
  if (!CreateDirectoryW(logs.c_str(), nullptr) &&
      GetLastError() != ERROR_ALREADY_EXISTS) {
    return "cannot make the folder " + WideToUtf8(logs) + ": " +
           SystemMessage(GetLastError());
  }
  return AppendToFile(logs + L"\\" + Utf8ToWide(row.name), row.start, row.row);
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
    for (const PendingFiles::File& file : taken) {
      const std::wstring path = state->folder + L"\\" + Utf8ToWide(file.name);
      errors.push_back(
          file.remove ? RemoveFile(path)
                      : ReplaceFileContents(path, file.bytes,
                                            file.flushed ? Durability::kFlushed
                                                         : Durability::kQuick));
    }
    const bool rows_tried = !rows.empty();
    std::string row_error;
    while (!rows.empty() && row_error.empty()) {
      row_error = AppendRow(state->folder, rows.front());
      if (row_error.empty()) rows.pop_front();
    }
    std::vector<std::string> messages;
    // A file that began or stopped failing, with its error.
    std::vector<std::pair<std::string, std::string>> changes;
    AcquireSRWLockExclusive(&state->lock);
    for (std::size_t i = 0; i < taken.size(); ++i) {
      std::string name = taken[i].name;
      std::string told =
          state->files.Tried(std::move(taken[i]), errors[i], GetTickCount64());
      if (told.empty()) continue;
      messages.push_back(std::move(told));
      changes.emplace_back(std::move(name), std::move(errors[i]));
    }
    // Rows that were not due say nothing of the log.
    if (rows_tried && row_error.empty() == state->rows_failing) {
      if (!row_error.empty()) {
        messages.push_back(row_error + "; the playout log is tried again");
      }
      changes.emplace_back(std::string(kLogFolder), row_error);
      state->rows_failing = !row_error.empty();
    }
    if (rows_tried) state->rows_next_try = GetTickCount64() + kRowRetryMs;
    // Rows that could not be written come before newer ones.
    state->rows.insert(state->rows.begin(), rows.begin(), rows.end());
    // Printed without the lock: the server's Write never waits on a console.
    ReleaseSRWLockExclusive(&state->lock);
    if (state->health) {
      for (const auto& [name, error] : changes) state->health(name, error);
    }
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

SongFileWriter::SongFileWriter(const std::wstring& folder, FileHealth health)
    : state_(std::make_shared<State>()) {
  state_->folder = folder;
  state_->health = std::move(health);
  thread_ =
      std::make_unique<Thread>([state = state_] { WriteSongFiles(state); });
}

SongFileWriter::~SongFileWriter() { Finish(); }

bool SongFileWriter::started() const { return thread_->started(); }

void SongFileWriter::Write(std::vector<OutputFile> files,
                           Durability durability) {
  {
    const LockHold hold(state_->lock);
    for (OutputFile& file : files) {
      state_->files.Put({std::move(file.name), std::move(file.bytes),
                         durability == Durability::kFlushed});
    }
  }
  WakeConditionVariable(&state_->wake);
}

void SongFileWriter::Remove(const std::string& name) {
  {
    const LockHold hold(state_->lock);
    PendingFiles::File gone;
    gone.name = name;
    gone.remove = true;
    state_->files.Put(std::move(gone));
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

void SongFileWriter::Finish(unsigned long wait_ms) {
  bool already = false;
  {
    const LockHold hold(state_->lock);
    already = state_->stopping;
    state_->stopping = true;
  }
  if (already) return;
  WakeConditionVariable(&state_->wake);
  thread_->Wait(wait_ms);
}

}  // namespace receiver
