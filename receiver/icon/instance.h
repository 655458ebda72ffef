#pragma once

#include <windows.h>

#include "receiver/system/handles.h"

// One receiver per port and log-on session, as an icon or in a console
// window: a second start of either kind finds the first, tells it to open
// the control page, and ends, instead of failing on a port in use.
namespace receiver {

class InstanceLock {
 public:
  explicit InstanceLock(int port);

  // Whether no receiver for this port held the lock before.
  bool first() const { return first_; }

 private:
  KernelHandle mutex_;
  bool first_ = true;
};

enum class RunningReceiver {
  kNone,     // no window appeared in time
  kIcon,     // as an icon
  kConsole,  // in a console window
};

// Finds the receiver on `port`, waiting for its window while it may still be
// starting (setup starts one and then at once a second one), and tells it to
// open the control page.
RunningReceiver SignalRunningReceiver(int port, DWORD wait_ms = 15000);

}  // namespace receiver
