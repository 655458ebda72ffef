#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// Drives a modal dialog from a thread of its own while the constructing
// thread runs the dialog's modal loop (the player's config call). The thread
// waits for a visible dialog with `caption`, hands it to `action`, and then
// waits for the dialog to go. If no dialog comes, or it stays, the thread
// posts WM_QUIT to the constructing thread, which ends any modal loop there,
// so that a faulty dialog fails the test instead of hanging it.
// The constructor returns once the thread runs: a thread started while
// another holds the loader lock would wait.
class DialogDriver {
 public:
  using Action = std::function<void(HWND dialog)>;
  DialogDriver(std::string caption, Action action, DWORD wait_ms = 15000);
  ~DialogDriver();
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;

  // Joins the thread; false when it did not end in time.
  bool Join(DWORD milliseconds = 60000);
  bool found() const { return found_; }
  // The dialog did not come or did not go: WM_QUIT was posted.
  bool forced() const { return forced_; }

 private:
  static DWORD WINAPI Run(LPVOID self);

  std::string caption_;
  Action action_;
  DWORD wait_ms_;
  DWORD owner_thread_;
  HANDLE started_ = nullptr;
  HANDLE thread_ = nullptr;
  volatile bool found_ = false;
  volatile bool forced_ = false;
};

// A visible top-level dialog (class #32770) with exactly this caption, or
// nullptr when none appears within `milliseconds`.
HWND WaitForDialog(const std::string& caption, DWORD milliseconds);
bool WaitUntilGone(HWND window, DWORD milliseconds);

std::string WindowText(HWND window);
// The window with the keyboard focus on the thread that owns `window`.
HWND FocusOfThreadOf(HWND window);
// The child windows of `parent`, in z-order (the template's order).
std::vector<HWND> ChildWindows(HWND parent);

}  // namespace testing_support
