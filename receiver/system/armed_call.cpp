#include "receiver/system/armed_call.h"

#include <utility>

#include "receiver/system/lock.h"

namespace receiver {

void ArmedCall::Call() {
  const LockHold hold(lock_);
  requested_ = kind_ == kLatched;
  if (how_) how_();
}

ArmedCall::Armed::Armed(ArmedCall* call, std::function<void()> how)
    : call_(call) {
  if (call_ == nullptr) return;
  const LockHold hold(call_->lock_);
  call_->how_ = std::move(how);
  if (call_->requested_) call_->how_();
}

ArmedCall::Armed::~Armed() {
  if (call_ == nullptr) return;
  const LockHold hold(call_->lock_);
  call_->how_ = nullptr;
}

}  // namespace receiver
