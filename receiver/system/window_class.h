#pragma once

#include <windows.h>

namespace receiver {

// What a second start posts to the running receiver's window, its icon's or
// its console's: open the control page.
inline constexpr UINT kShowRunning = WM_APP + 3;

// Registers a window class of this program for `procedure`; true when it is
// there, also from an earlier call.
inline bool RegisterWindowClass(const wchar_t* name, WNDPROC procedure) {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = name;
  return RegisterClassExW(&window_class) != 0 ||
         GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace receiver
