#pragma once

#include <chrono>
#include <deque>

namespace receiver {

// Discord takes at most 5 activity updates in 20 seconds from a program;
// what comes sooner waits for the window to allow it.
class UpdateLimit {
 public:
  using Time = std::chrono::steady_clock::time_point;
  static constexpr std::size_t kUpdates = 5;
  static constexpr std::chrono::seconds kWindow{20};

  // When the next update may go: `now`, or the moment the window allows it.
  Time NextFree(Time now) const;
  // An update went at `now`.
  void Sent(Time now);

 private:
  std::deque<Time> sent_;  // the last kUpdates, oldest first
};

}  // namespace receiver
