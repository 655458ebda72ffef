#include "plugin/trigger.h"

#include "plugin/host_interface.h"
#include "report/probe.h"

namespace plugin {

std::atomic<bool> armed{false};
std::atomic<long> check_pending{0};

namespace {

void CALLBACK ArmingTimerProc(HWND, UINT, UINT_PTR, DWORD) {
  armed = true;
  KillTimer(host_window, kArmingTimerId);
}

void CALLBACK CheckTimerProc(HWND, UINT, UINT_PTR, DWORD) {
  // Kill before clearing: a notification after the clear then sets a timer
  // that stands, and one before it is served by the probe below.
  KillTimer(host_window, kCheckTimerId);
  check_pending = 0;
  try {
    report::RunProbe();
  } catch (...) {
    // Out of memory inside a check: this report is lost, the player goes on.
  }
}

}  // namespace

void StartArmingTimer() {
  SetTimer(host_window, kArmingTimerId, kArmingDelayMs, ArmingTimerProc);
}

void TriggerTest() {
  if (!armed) return;
  const HWND window = host_window;
  if (window == nullptr) return;
  long expected = 0;
  if (!check_pending.compare_exchange_strong(expected, 1)) return;
  if (SetTimer(window, kCheckTimerId, kCheckDelayMs, CheckTimerProc) == 0) {
    check_pending = 0;
  }
}

void StopTimers() {
  armed = false;
  if (host_window == nullptr) return;
  KillTimer(host_window, kArmingTimerId);
  KillTimer(host_window, kCheckTimerId);
}

}  // namespace plugin
