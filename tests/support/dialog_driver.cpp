#include "tests/support/dialog_driver.h"

#include <vector>

namespace testing_support {

DialogDriver::DialogDriver(std::string caption, Action action, DWORD wait_ms)
    : caption_(std::move(caption)),
      action_(std::move(action)),
      wait_ms_(wait_ms),
      owner_thread_(GetCurrentThreadId()) {
  started_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
  if (thread_ != nullptr) WaitForSingleObject(started_, 10000);
}

DialogDriver::~DialogDriver() {
  Join(INFINITE);
  CloseHandle(started_);
}

bool DialogDriver::Join(DWORD milliseconds) {
  if (thread_ == nullptr) return true;
  if (WaitForSingleObject(thread_, milliseconds) != WAIT_OBJECT_0) return false;
  CloseHandle(thread_);
  thread_ = nullptr;
  return true;
}

DWORD WINAPI DialogDriver::Run(LPVOID self) {
  auto* driver = static_cast<DialogDriver*>(self);
  SetEvent(driver->started_);
  const HWND dialog = WaitForDialog(driver->caption_, driver->wait_ms_);
  if (dialog != nullptr) {
    driver->found_ = true;
    driver->action_(dialog);
    if (WaitUntilGone(dialog, driver->wait_ms_)) return 0;
  }
  driver->forced_ = true;
  PostThreadMessageA(driver->owner_thread_, WM_QUIT, 0, 0);
  return 0;
}

HWND WaitForDialog(const std::string& caption, DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (;;) {
    const HWND window = FindWindowA("#32770", caption.c_str());
    if (window != nullptr && IsWindowVisible(window)) return window;
    if (GetTickCount64() >= end) return nullptr;
    Sleep(20);
  }
}

bool WaitUntilGone(HWND window, DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  while (IsWindow(window)) {
    if (GetTickCount64() >= end) return false;
    Sleep(20);
  }
  return true;
}

std::string WindowText(HWND window) {
  std::vector<char> text(
      static_cast<std::size_t>(GetWindowTextLengthA(window)) + 2);
  const int length =
      GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  return std::string(text.data(), length > 0 ? length : 0);
}

HWND FocusOfThreadOf(HWND window) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  const DWORD thread = GetWindowThreadProcessId(window, nullptr);
  return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

std::vector<HWND> ChildWindows(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

}  // namespace testing_support
