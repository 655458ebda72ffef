#pragma once

#include <windows.h>

// One receiver per port and log-on session: a second start tells the first
// to show itself, and ends, instead of failing on a port in use.
namespace receiver {

class InstanceLock {
 public:
  explicit InstanceLock(int port);
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  ~InstanceLock();

  // Whether no receiver for this port held the lock before.
  bool first() const { return first_; }

 private:
  HANDLE mutex_ = nullptr;
  bool first_ = true;
};

// Tells the receiver on `port` to show its balloon, waiting for its window
// while it may still be starting; false when none appeared in time.
bool SignalRunningReceiver(int port, DWORD wait_ms = 5000);

}  // namespace receiver
