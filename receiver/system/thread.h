#pragma once

#include <windows.h>

#include <functional>

namespace receiver {

// Runs `body` once on a thread of its own. The body owns what it uses (a
// shared_ptr), so a thread stuck in a system call may outlive this object.
class Thread {
 public:
  explicit Thread(std::function<void()> body);
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread();

  bool started() const { return handle_ != nullptr; }

  // Whether the body has returned within `milliseconds`.
  bool Wait(DWORD milliseconds);

 private:
  HANDLE handle_ = nullptr;
};

// A manual-reset event that stays set once set.
class Event {
 public:
  Event() : handle_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  ~Event() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }

  bool created() const { return handle_ != nullptr; }
  void Set() {
    if (handle_ != nullptr) SetEvent(handle_);
  }
  // Whether it is set within `milliseconds`.
  bool Wait(DWORD milliseconds) {
    return handle_ != nullptr &&
           WaitForSingleObject(handle_, milliseconds) == WAIT_OBJECT_0;
  }

 private:
  HANDLE handle_;
};

}  // namespace receiver
