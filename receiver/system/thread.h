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

}  // namespace receiver
