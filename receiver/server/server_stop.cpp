#include "receiver/server/server.h"

#include <utility>

#include "receiver/system/lock.h"

namespace receiver {

void ServerStop::Stop() {
  const LockHold hold(lock_);
  requested_ = true;
  if (stop_) stop_();
}

ServerStop::Armed::Armed(ServerStop* stop, std::function<void()> how)
    : stop_(stop) {
  if (stop_ == nullptr) return;
  const LockHold hold(stop_->lock_);
  stop_->stop_ = std::move(how);
  if (stop_->requested_) stop_->stop_();
}

ServerStop::Armed::~Armed() {
  if (stop_ == nullptr) return;
  const LockHold hold(stop_->lock_);
  stop_->stop_ = nullptr;
}

void ServerCommands::ClearSong() {
  const LockHold hold(lock_);
  if (clear_) clear_();
}

ServerCommands::Armed::Armed(ServerCommands* commands,
                             std::function<void()> how)
    : commands_(commands) {
  if (commands_ == nullptr) return;
  const LockHold hold(commands_->lock_);
  commands_->clear_ = std::move(how);
}

ServerCommands::Armed::~Armed() {
  if (commands_ == nullptr) return;
  const LockHold hold(commands_->lock_);
  commands_->clear_ = nullptr;
}

}  // namespace receiver
