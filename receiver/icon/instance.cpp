#include "receiver/icon/instance.h"

#include <string>

#include "receiver/icon/tray.h"
#include "receiver/system/console.h"
#include "receiver/system/session_end.h"

namespace receiver {

InstanceLock::InstanceLock(int port) {
  // Local\: per log-on session, like the notification area it shows in.
  const std::wstring name =
      L"Local\\WinAmp Tunebeacon Receiver port " + std::to_wstring(port);
  mutex_ = KernelHandle(CreateMutexW(nullptr, FALSE, name.c_str()));
  first_ = !mutex_ || GetLastError() != ERROR_ALREADY_EXISTS;
}

RunningReceiver SignalRunningReceiver(int port, DWORD wait_ms) {
  const std::wstring title = TrayWindowTitle(port);
  const ULONGLONG end = GetTickCount64() + wait_ms;
  while (true) {
    const HWND window = FindWindowW(kTrayWindowClass, title.c_str());
    if (window != nullptr && PostMessageW(window, kShowRunning, 0, 0)) {
      return RunningReceiver::kIcon;
    }
    const HWND console = FindWindowW(kConsoleWindowClass, title.c_str());
    if (console != nullptr && PostMessageW(console, kShowRunning, 0, 0)) {
      return RunningReceiver::kConsole;
    }
    if (GetTickCount64() >= end) return RunningReceiver::kNone;
    Sleep(100);
  }
}

}  // namespace receiver
