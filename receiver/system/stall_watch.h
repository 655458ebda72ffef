#pragma once

#include <cstdint>

namespace receiver {

// Tells a reader that has stopped from one that is only busy: at a ping, a
// write is stuck when that same write was already pending at the ping before.
class StallWatch {
 public:
  void WriteStarted() { ++writes_; }

  bool StuckAtPing(bool writing) {
    const bool stuck = writing && pending_at_last_ping_ == writes_;
    pending_at_last_ping_ = writing ? writes_ : 0;
    return stuck;
  }

 private:
  std::uint64_t writes_ = 0;
  std::uint64_t pending_at_last_ping_ = 0;  // 0: none was pending
};

}  // namespace receiver
