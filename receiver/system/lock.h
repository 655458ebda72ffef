#pragma once

#include <windows.h>

namespace receiver {

// Holds a slim reader/writer lock for as long as it lives: exclusively, or
// shared with other readers.
class LockHold {
 public:
  enum Kind { kExclusive, kShared };

  explicit LockHold(SRWLOCK& lock, Kind kind = kExclusive)
      : lock_(lock), kind_(kind) {
    kind_ == kShared ? AcquireSRWLockShared(&lock_)
                     : AcquireSRWLockExclusive(&lock_);
  }
  LockHold(const LockHold&) = delete;
  LockHold& operator=(const LockHold&) = delete;
  ~LockHold() {
    kind_ == kShared ? ReleaseSRWLockShared(&lock_)
                     : ReleaseSRWLockExclusive(&lock_);
  }

 private:
  SRWLOCK& lock_;
  const Kind kind_;
};

}  // namespace receiver
