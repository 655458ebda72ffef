#include "receiver/system/thread.h"

#include <memory>

namespace receiver {

namespace {

DWORD WINAPI RunBody(void* parameter) {
  const std::unique_ptr<std::function<void()>> body(
      static_cast<std::function<void()>*>(parameter));
  (*body)();
  return 0;
}

}  // namespace

Thread::Thread(std::function<void()> body) {
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  handle_ =
      KernelHandle(CreateThread(nullptr, 0, RunBody, owned.get(), 0, nullptr));
  if (handle_) owned.release();
}

Thread::~Thread() = default;

bool Thread::Wait(DWORD milliseconds) {
  return !handle_ ||
         WaitForSingleObject(handle_.get(), milliseconds) == WAIT_OBJECT_0;
}

}  // namespace receiver
