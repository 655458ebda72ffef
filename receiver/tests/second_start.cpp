// A second start of the receiver, as the program's own start does it:
// exit code 0 when it told the running one to show itself, 3 when it is the
// first after all, 4 when the running one never showed a window.
#include "second_start.h"
#include "receiver/icon/instance.h"

int main() {
  const receiver::InstanceLock lock(kSecondStartPort);
  if (lock.first()) return 3;
  return receiver::SignalRunningReceiver(kSecondStartPort) ==
                 receiver::RunningReceiver::kIcon
             ? 0
             : 4;
}
