#include "receiver/current_song.h"

#include <utility>

namespace receiver {

void CurrentSong::Set(Song song) {
  AcquireSRWLockExclusive(&lock_);
  song_ = std::move(song);
  ReleaseSRWLockExclusive(&lock_);
}

std::optional<Song> CurrentSong::Get() const {
  AcquireSRWLockShared(&lock_);
  std::optional<Song> copy = song_;
  ReleaseSRWLockShared(&lock_);
  return copy;
}

}  // namespace receiver
