#include "receiver/system/session_end.h"

#include <atomic>
#include <utility>

#include "receiver/system/lock.h"
#include "receiver/system/thread.h"
#include "receiver/system/window_class.h"

namespace receiver {

struct SessionEndWindow::State {
  std::wstring title;
  DWORD wait_ms = 0;
  SRWLOCK lock = SRWLOCK_INIT;
  std::function<void()> stop;  // null once the owner is gone
  std::function<void()> show;
  Event finished;
  Event ready;
  std::atomic<HWND> window{nullptr};
};

namespace {

using SessionState = SessionEndWindow::State;

constexpr UINT kEndSessionWindow = WM_APP + 1;
constexpr DWORD kSessionWindowEndMs = 1000;

LRESULT CALLBACK SessionWindowProcedure(HWND window, UINT message,
                                        WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* const state =
      reinterpret_cast<SessionState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wparam && state != nullptr) {
        {
          const LockHold hold(state->lock);
          if (state->stop) state->stop();
        }
        state->finished.Wait(state->wait_ms);
      }
      return 0;
    case WM_CLOSE:
      // Only the console ends this receiver.
      return 0;
    case kShowRunning:
      if (state != nullptr && state->show) state->show();
      return 0;
    case kEndSessionWindow:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void RunSessionWindow(const std::shared_ptr<SessionState>& state) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!RegisterWindowClass(kConsoleWindowClass, SessionWindowProcedure)) {
    state->ready.Set();
    return;
  }
  // Top-level: a message-only window hears no end of the session.
  state->window = CreateWindowExW(0, kConsoleWindowClass, state->title.c_str(),
                                  WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, state.get());
  state->ready.Set();
  if (state->window.load() == nullptr) return;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    DispatchMessageW(&message);
  }
}

}  // namespace

SessionEndWindow::SessionEndWindow(const std::wstring& title,
                                   std::function<void()> stop, DWORD wait_ms,
                                   std::function<void()> show)
    : state_(std::make_shared<State>()) {
  state_->title = title;
  state_->wait_ms = wait_ms;
  state_->stop = std::move(stop);
  state_->show = std::move(show);
  if (!state_->finished.created() || !state_->ready.created()) return;
  thread_ =
      std::make_unique<Thread>([state = state_] { RunSessionWindow(state); });
  if (!thread_->started()) return;
  state_->ready.Wait(5000);
  started_ = state_->window.load() != nullptr;
}

void SessionEndWindow::Finished() { state_->finished.Set(); }

SessionEndWindow::~SessionEndWindow() {
  {
    const LockHold hold(state_->lock);
    state_->stop = nullptr;
  }
  Finished();
  if (const HWND window = state_->window) {
    PostMessageW(window, kEndSessionWindow, 0, 0);
  }
  if (thread_) thread_->Wait(kSessionWindowEndMs);
}

}  // namespace receiver
