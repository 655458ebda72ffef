#include "receiver/system/line_queue.h"

#include <utility>

namespace receiver {

void LineQueue::Push(ConsoleLine line) {
  if (capacity_ == 0) {
    ++dropped_;
    return;
  }
  if (lines_.size() == capacity_) {
    lines_.pop_front();
    ++dropped_;
  }
  lines_.push_back(std::move(line));
}

std::deque<ConsoleLine> LineQueue::TakeAll() {
  std::deque<ConsoleLine> taken = std::exchange(lines_, {});
  if (dropped_ > 0) {
    taken.push_front(
        {"trackwire_receiver: " + std::to_string(dropped_) +
             " older lines not shown: the console was not taking output",
         true});
    dropped_ = 0;
  }
  return taken;
}

}  // namespace receiver
