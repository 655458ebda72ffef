#pragma once

#include <windows.h>

#include <atomic>

// Thread starts and ends in the player's process are the plug-in's only sign
// that something changed: each schedules one check a second later, once the
// arming timer has run.
namespace plugin {

constexpr UINT_PTR kArmingTimerId = 1;
constexpr UINT kArmingDelayMs = 4000;
constexpr UINT_PTR kCheckTimerId = 2;
constexpr UINT kCheckDelayMs = 1000;

extern std::atomic<bool> armed;
extern std::atomic<long> check_pending;

// Called from init on the player's main thread.
void StartArmingTimer();

// Called for every loader notification but process attach, on the notified
// thread.
void TriggerTest();

// Called at process detach: no timer whose procedure lies in this module may
// outlive it.
void StopTimers();

}  // namespace plugin
