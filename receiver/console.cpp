#include "receiver/console.h"

#include <windows.h>

#include <string>

#include "receiver/code_page.h"

namespace receiver {

namespace {

SRWLOCK stop_lock = SRWLOCK_INIT;
std::function<void()>* stop_function = nullptr;

// Lives as long as the process: a handler may still wait on it at exit.
HANDLE WoundDownEvent() {
  static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

BOOL WINAPI OnConsoleEvent(DWORD type) {
  AcquireSRWLockExclusive(&stop_lock);
  if (stop_function != nullptr) (*stop_function)();
  ReleaseSRWLockExclusive(&stop_lock);
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT ||
      type == CTRL_SHUTDOWN_EVENT) {
    WaitForSingleObject(WoundDownEvent(), 4000);
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

}  // namespace

void PrintLine(std::string_view utf8) { Write(STD_OUTPUT_HANDLE, utf8); }

void PrintError(std::string_view utf8) { Write(STD_ERROR_HANDLE, utf8); }

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
  AcquireSRWLockExclusive(&stop_lock);
  stop_function = &stop_;
  ReleaseSRWLockExclusive(&stop_lock);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

ConsoleStop::~ConsoleStop() {
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  AcquireSRWLockExclusive(&stop_lock);
  stop_function = nullptr;
  ReleaseSRWLockExclusive(&stop_lock);
  SetEvent(WoundDownEvent());
}

}  // namespace receiver
