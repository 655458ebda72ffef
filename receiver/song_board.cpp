#include "receiver/song_board.h"

#include <utility>

namespace receiver {

namespace {

class ExclusiveLock {
 public:
  explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) {
    AcquireSRWLockExclusive(&lock_);
  }
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;
  ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }

 private:
  SRWLOCK& lock_;
};

}  // namespace

void SongBoard::Set(Song song) {
  HWND window = nullptr;
  UINT message = 0;
  {
    ExclusiveLock hold(lock_);
    song_ = std::move(song);
    if (window_ == nullptr || posted_) return;
    posted_ = true;
    window = window_;
    message = message_;
  }
  // PostMessageW does not wait for the window's thread.
  if (!PostMessageW(window, message, 0, 0)) {
    ExclusiveLock hold(lock_);
    posted_ = false;
  }
}

std::optional<Song> SongBoard::Get() {
  ExclusiveLock hold(lock_);
  posted_ = false;
  return song_;
}

void SongBoard::Listen(HWND window, UINT message) {
  ExclusiveLock hold(lock_);
  window_ = window;
  message_ = message;
  posted_ = false;
}

}  // namespace receiver
