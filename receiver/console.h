#pragma once

#include <functional>
#include <string_view>

namespace receiver {

// One line to standard output or standard error: UTF-16 to a console
// window, UTF-8 to a file or pipe.
void PrintLine(std::string_view utf8);
void PrintError(std::string_view utf8);

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
