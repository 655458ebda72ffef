// Drives a running receiver's icon window from outside, as the shell and a
// user would, for receiver_wine:
//   tray_driver command PORT ID    a menu command (WM_COMMAND)
//   tray_driver menu PORT          opens the icon's menu, as a right click
//   tray_driver close PORT         WM_CLOSE, as at the end of a session
//   tray_driver end-session PORT   the end of the session, as Windows tells
//                                  a --console receiver's hidden window;
//                                  returns when it has answered
//   tray_driver message-box        prints the text of the receiver's
//                                  message box and clicks OK
// Each waits up to 10 s for its window; exit code 0, or 1 when it never came.
#include <windows.h>

#include <cstdio>
#include <string>

#include "receiver/icon/tray.h"
#include "receiver/system/code_page.h"
#include "receiver/system/console.h"
#include "receiver/system/session_end.h"

namespace {

constexpr DWORD kWaitMs = 10000;

template <typename Find>
HWND WaitFor(Find find) {
  const ULONGLONG end = GetTickCount64() + kWaitMs;
  while (true) {
    if (const HWND window = find()) return window;
    if (GetTickCount64() >= end) return nullptr;
    Sleep(50);
  }
}

HWND TrayWindow(int port) {
  const std::wstring title = receiver::TrayWindowTitle(port);
  return WaitFor(
      [&] { return FindWindowW(receiver::kTrayWindowClass, title.c_str()); });
}

BOOL CALLBACK AppendStaticText(HWND child, LPARAM text) {
  wchar_t class_name[16] = {};
  GetClassNameW(child, class_name, 16);
  if (lstrcmpiW(class_name, L"Static") != 0) return TRUE;
  wchar_t buffer[2048] = {};
  GetWindowTextW(child, buffer, 2048);
  reinterpret_cast<std::wstring*>(text)->append(buffer);
  return TRUE;
}

int MessageBoxText() {
  const HWND box = WaitFor(
      [] { return FindWindowW(L"#32770", L"WinAmp Tunebeacon Receiver"); });
  if (box == nullptr) return 1;
  std::wstring text;
  EnumChildWindows(box, AppendStaticText, reinterpret_cast<LPARAM>(&text));
  std::printf("%s\n", receiver::WideToUtf8(text).c_str());
  std::fflush(stdout);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  return 0;
}

}  // namespace

int EndSession(int port) {
  const std::wstring title = receiver::TrayWindowTitle(port);
  const HWND window = WaitFor([&] {
    return FindWindowW(receiver::kConsoleWindowClass, title.c_str());
  });
  if (window == nullptr) {
    std::fprintf(stderr, "tray_driver: no console receiver for port %d\n",
                 port);
    return 1;
  }
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                           SMTO_NORMAL, kWaitMs, &result) ||
      result == 0) {
    std::fprintf(stderr, "tray_driver: the end of the session was refused\n");
    return 1;
  }
  return SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF,
                             SMTO_NORMAL, kWaitMs, &result)
             ? 0
             : 1;
}

int wmain(int argc, wchar_t** argv) {
  const std::wstring action = argc > 1 ? argv[1] : L"";
  if (action == L"message-box") return MessageBoxText();
  if (action == L"end-session" && argc > 2) return EndSession(_wtoi(argv[2]));
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: tray_driver command PORT ID | menu PORT | close PORT "
                 "| end-session PORT | message-box\n");
    return 2;
  }
  const HWND window = TrayWindow(_wtoi(argv[2]));
  if (window == nullptr) {
    std::fprintf(stderr, "tray_driver: no receiver window for port %ls\n",
                 argv[2]);
    return 1;
  }
  if (action == L"command" && argc > 3) {
    PostMessageW(window, WM_COMMAND, static_cast<WPARAM>(_wtoi(argv[3])), 0);
  } else if (action == L"menu") {
    PostMessageW(window, receiver::kTrayNotify, 0, WM_RBUTTONUP);
  } else if (action == L"close") {
    // As the shell does at the end of a session: wait for the answer.
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL, kWaitMs, &result);
  } else {
    std::fprintf(stderr, "tray_driver: unknown action %ls\n", action.c_str());
    return 2;
  }
  return 0;
}
