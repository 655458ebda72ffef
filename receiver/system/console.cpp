#include "receiver/system/console.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <utility>

#include "receiver/system/code_page.h"
#include "receiver/system/line_queue.h"
#include "receiver/system/lock.h"
#include "receiver/system/thread.h"

namespace receiver {

// A song line is at most a few KB; this many cover a burst of reports.
constexpr std::size_t kQueuedLines = 100;
// At exit a console that takes no output is not waited for longer.
constexpr DWORD kFlushWaitMs = 2000;

struct ConsoleQueue::State {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE wake = CONDITION_VARIABLE_INIT;
  LineQueue lines{kQueuedLines};
  bool stopping = false;
};

namespace {

SRWLOCK queue_lock = SRWLOCK_INIT;
std::shared_ptr<ConsoleQueue::State> active_queue;

std::shared_ptr<ConsoleQueue::State> ActiveQueue() {
  const LockHold hold(queue_lock, LockHold::kShared);
  return active_queue;
}

SRWLOCK notice_lock = SRWLOCK_INIT;
std::function<void(std::string_view)> error_notice;

SRWLOCK stop_lock = SRWLOCK_INIT;
std::function<void()>* stop_function = nullptr;

// Lives as long as the process: a handler may still wait on it at exit.
Event& WoundDownEvent() {
  static Event event;
  return event;
}

BOOL WINAPI OnConsoleEvent(DWORD type) {
  {
    const LockHold hold(stop_lock);
    if (stop_function != nullptr) (*stop_function)();
  }
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT ||
      type == CTRL_SHUTDOWN_EVENT) {
    WoundDownEvent().Wait(4000);
  }
  return TRUE;
}

void Write(DWORD which, std::string_view utf8) {
  const HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  std::string line(utf8);
  line += "\r\n";
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(handle, &mode)) {
    const std::wstring wide = Utf8ToWide(line);
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()),
                  &written, nullptr);
  } else {
    WriteFile(handle, line.data(), static_cast<DWORD>(line.size()), &written,
              nullptr);
  }
}

void Print(std::string_view utf8, bool error) {
  if (const auto state = ActiveQueue()) {
    {
      const LockHold hold(state->lock);
      state->lines.Push({std::string(utf8), error});
    }
    WakeConditionVariable(&state->wake);
    return;
  }
  Write(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE, utf8);
}

void WriteQueuedLines(const std::shared_ptr<ConsoleQueue::State>& state) {
  while (true) {
    std::deque<ConsoleLine> lines;
    bool stopping = false;
    {
      const LockHold hold(state->lock);
      while (state->lines.empty() && !state->stopping) {
        SleepConditionVariableSRW(&state->wake, &state->lock, INFINITE, 0);
      }
      lines = state->lines.TakeAll();
      stopping = state->stopping;
    }
    for (const ConsoleLine& line : lines) {
      Write(line.error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE, line.text);
    }
    if (lines.empty() && stopping) return;
  }
}

}  // namespace

void PrintLine(std::string_view utf8) { Print(utf8, false); }

void PrintError(std::string_view utf8) {
  std::function<void(std::string_view)> notice;
  {
    const LockHold hold(notice_lock, LockHold::kShared);
    notice = error_notice;
  }
  if (notice) notice(utf8);
  Print(utf8, true);
}

void SetErrorNotice(std::function<void(std::string_view)> notice) {
  const LockHold hold(notice_lock);
  error_notice = std::move(notice);
}

ConsoleQueue::ConsoleQueue() : state_(std::make_shared<State>()) {
  writer_ =
      std::make_unique<Thread>([state = state_] { WriteQueuedLines(state); });
  if (!writer_->started()) return;
  const LockHold hold(queue_lock);
  active_queue = state_;
}

bool ConsoleQueue::started() const { return writer_->started(); }

ConsoleQueue::~ConsoleQueue() {
  if (!writer_->started()) return;
  {
    const LockHold hold(state_->lock);
    state_->stopping = true;
  }
  WakeConditionVariable(&state_->wake);
  writer_->Wait(kFlushWaitMs);
  const LockHold hold(queue_lock);
  active_queue.reset();
}

namespace {

constexpr DWORD kStandardHandles[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE,
                                      STD_ERROR_HANDLE};

bool Usable(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// After a console came: the standard handles that lead nowhere lead to it.
void UseConsoleWhereUnusable(const HANDLE (&before)[3]) {
  for (int i = 0; i < 3; ++i) {
    if (Usable(before[i])) {
      SetStdHandle(kStandardHandles[i], before[i]);
      continue;
    }
    const bool input = kStandardHandles[i] == STD_INPUT_HANDLE;
    // Kept for the life of the process, as standard handles are.
    const HANDLE console = CreateFileW(
        input ? L"CONIN$" : L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) {
      SetStdHandle(kStandardHandles[i], console);
    }
  }
}

void CurrentHandles(HANDLE (&handles)[3]) {
  for (int i = 0; i < 3; ++i) handles[i] = GetStdHandle(kStandardHandles[i]);
}

}  // namespace

bool HasOutputOrParentConsole() {
  HANDLE before[3];
  CurrentHandles(before);
  if (Usable(before[2])) return true;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
  UseConsoleWhereUnusable(before);
  return Usable(GetStdHandle(STD_ERROR_HANDLE));
}

bool OpenConsole() {
  HANDLE before[3];
  CurrentHandles(before);
  // As a console program: in the console of the program that started it,
  // else in one of its own, so that Ctrl+C reaches it even when its output
  // goes to a file.
  if (!AttachConsole(ATTACH_PARENT_PROCESS) && !AllocConsole()) {
    return Usable(before[1]);
  }
  UseConsoleWhereUnusable(before);
  return true;
}

void TurnOffQuickEditInOwnWindow() {
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) != 1) return;
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(input, &mode)) return;
  SetConsoleMode(input, (mode & ~static_cast<DWORD>(ENABLE_QUICK_EDIT_MODE)) |
                            ENABLE_EXTENDED_FLAGS);
}

void WaitForEnterInOwnWindow() {
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) != 1) return;
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(input, &mode)) return;
  PrintError("Press Enter to close this window.");
  wchar_t line[64];
  DWORD read = 0;
  ReadConsoleW(input, line, 64, &read, nullptr);
}

ConsoleStop::ConsoleStop(std::function<void()> stop) : stop_(std::move(stop)) {
  WoundDownEvent();
  {
    const LockHold hold(stop_lock);
    stop_function = &stop_;
  }
  // A program started without a console of its own (a Windows program, or
  // one started in a new process group) may have Ctrl+C turned off.
  SetConsoleCtrlHandler(nullptr, FALSE);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

ConsoleStop::~ConsoleStop() {
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  {
    const LockHold hold(stop_lock);
    stop_function = nullptr;
  }
  WoundDownEvent().Set();
}

}  // namespace receiver
