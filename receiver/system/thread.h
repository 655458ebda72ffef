#pragma once

#include <windows.h>

#include <functional>

#include "receiver/system/handles.h"

namespace receiver {

// Runs `body` once on a thread of its own. The body owns what it uses (a
// shared_ptr), so a thread stuck in a system call may outlive this object.
class Thread {
 public:
  explicit Thread(std::function<void()> body);
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread();

  bool started() const { return static_cast<bool>(handle_); }

  // Whether the body has returned within `milliseconds`.
  bool Wait(DWORD milliseconds);

 private:
  KernelHandle handle_;
};

// A manual-reset event that stays set once set.
class Event {
 public:
  Event() : handle_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

  bool created() const { return static_cast<bool>(handle_); }
  void Set() {
    if (handle_) SetEvent(handle_.get());
  }
  // Whether it is set within `milliseconds`.
  bool Wait(DWORD milliseconds) {
    return handle_ &&
           WaitForSingleObject(handle_.get(), milliseconds) == WAIT_OBJECT_0;
  }

 private:
  KernelHandle handle_;
};

}  // namespace receiver
