#include "receiver/discord/update_limit.h"

namespace receiver {

UpdateLimit::Time UpdateLimit::NextFree(Time now) const {
  if (sent_.size() < kUpdates) return now;
  const Time free = sent_.front() + kWindow;
  return free > now ? free : now;
}

void UpdateLimit::Sent(Time now) {
  sent_.push_back(now);
  while (sent_.size() > kUpdates) sent_.pop_front();
}

}  // namespace receiver
