#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace receiver {

class Thread;

// One line to standard output or standard error: UTF-16 to a console
// window, UTF-8 to a file or pipe. While a ConsoleQueue lives, the line is
// only queued, from any thread.
void PrintLine(std::string_view utf8);
void PrintError(std::string_view utf8);

// Hands every line that PrintError prints to `notice` as well, on the
// printing thread, which it must not hold up (for a program without a
// console to show), from any thread; null stops it.
void SetErrorNotice(std::function<void(std::string_view)> notice);

// While it lives, the lines printed go to a small queue that a thread of its
// own writes out, so that a console that takes no output (a click into the
// window starts a QuickEdit selection, which stops all output until Esc; a
// pipe nobody reads) never holds up the thread that printed. When the queue
// is full the oldest lines go.
class ConsoleQueue {
 public:
  ConsoleQueue();
  ConsoleQueue(const ConsoleQueue&) = delete;
  ConsoleQueue& operator=(const ConsoleQueue&) = delete;
  // Writes what is left, waiting a moment at most.
  ~ConsoleQueue();

  // False when its thread could not start: lines are then written at once.
  bool started() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
  std::unique_ptr<Thread> writer_;
};

// The program is a Windows program: it starts without a console. Whether
// standard error goes somewhere (a file, a pipe, a console), after
// attaching to the console of the program that started this one (a command
// prompt) if it had none.
bool HasOutputOrParentConsole();

// For --console, as a console program starts: in the console of the
// program that started this one, or else in one of its own; output already
// sent to a file or a pipe stays there. False when output goes nowhere.
bool OpenConsole();

// Turns QuickEdit off in a console window that is the program's own (it was
// started from Explorer), where a stray click would pause the output.
void TurnOffQuickEditInOwnWindow();

// When the program has a console window of its own (it was started from
// Explorer), keeps that window open until Enter, so that a message can be
// read before the window closes.
void WaitForEnterInOwnWindow();

// While it lives, Ctrl+C, Ctrl+Break, closing the console window, logging
// off and shutting down call `stop` (on a thread of their own). For the last
// three Windows ends the process once the handler returns, so the handler
// waits until this object is gone, i.e. until the program has wound down.
class ConsoleStop {
 public:
  explicit ConsoleStop(std::function<void()> stop);
  ConsoleStop(const ConsoleStop&) = delete;
  ConsoleStop& operator=(const ConsoleStop&) = delete;
  ~ConsoleStop();

 private:
  std::function<void()> stop_;
};

}  // namespace receiver
