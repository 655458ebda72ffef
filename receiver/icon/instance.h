#pragma once

#include <windows.h>

// One receiver per port and log-on session, as an icon or in a console
// window: a second start of either kind finds the first, tells an icon to
// show itself, and ends, instead of failing on a port in use.
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

enum class RunningReceiver {
  kNone,     // no window appeared in time
  kIcon,     // told to show its balloon
  kConsole,  // in a console window, which has nothing to show
};

// Finds the receiver on `port`, waiting for its window while it may still be
// starting, and tells an icon to show its balloon.
RunningReceiver SignalRunningReceiver(int port, DWORD wait_ms = 5000);

}  // namespace receiver
