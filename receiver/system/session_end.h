#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace receiver {

class Thread;

// The hidden window of a --console receiver: its class, and its title
// names the port, so that a second start finds it.
inline constexpr wchar_t kConsoleWindowClass[] =
    L"WinAmpTunebeaconReceiverConsole";

// Windows sends no log-off or shutdown event to a console program that has
// loaded user32, and ends it. While this lives, a hidden top-level window on
// a thread of its own hears the end of the session instead: it calls `stop`
// and answers only after Finished() or `wait_ms`, as Windows may end the
// process as soon as it has answered. A second start's kShowRunning calls
// `show` there.
class SessionEndWindow {
 public:
  SessionEndWindow(const std::wstring& title, std::function<void()> stop,
                   DWORD wait_ms, std::function<void()> show = {});
  SessionEndWindow(const SessionEndWindow&) = delete;
  SessionEndWindow& operator=(const SessionEndWindow&) = delete;
  ~SessionEndWindow();

  // Whether the window is there.
  bool started() const { return started_; }

  // The program has wound down (the song files are written).
  void Finished();

  struct State;

 private:
  std::shared_ptr<State> state_;
  std::unique_ptr<Thread> thread_;
  bool started_ = false;
};

}  // namespace receiver
