#pragma once

#include <cstddef>
#include <deque>
#include <string>

namespace receiver {

struct ConsoleLine {
  std::string text;  // UTF-8, without a line end
  bool error = false;
};

// Lines waiting for the console. It keeps at most `capacity`: when full, the
// oldest line goes, and the next lines taken begin with one saying how many
// went.
class LineQueue {
 public:
  explicit LineQueue(std::size_t capacity) : capacity_(capacity) {}

  void Push(ConsoleLine line);
  std::deque<ConsoleLine> TakeAll();
  bool empty() const { return lines_.empty() && dropped_ == 0; }

 private:
  std::size_t capacity_;
  std::deque<ConsoleLine> lines_;
  std::size_t dropped_ = 0;
};

}  // namespace receiver
