// Exits with 0 when an edit control holding text survives in this process.
// Wine 8.0 running 32-bit programs in its WoW64 mode faults inside
// ScriptString_pSize as soon as an edit control measures its text, so the
// dialog tests ask this probe first.
#include <windows.h>

int main() {
  const HWND edit = CreateWindowExA(
      0, "EDIT", "localhost", WS_POPUP | WS_VISIBLE | WS_BORDER, 0, 0, 200, 24,
      nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (edit == nullptr) return 2;
  SetWindowTextA(edit, "127.0.0.1");
  UpdateWindow(edit);
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    DispatchMessageA(&message);
  }
  DestroyWindow(edit);
  return 0;
}
