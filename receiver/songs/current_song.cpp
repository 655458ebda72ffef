#include "receiver/songs/current_song.h"

#include <utility>

#include "receiver/system/lock.h"

namespace receiver {

void CurrentSong::Set(Song song) {
  const LockHold hold(lock_);
  song_ = std::move(song);
}

std::optional<Song> CurrentSong::Get() const {
  const LockHold hold(lock_, LockHold::kShared);
  return song_;
}

}  // namespace receiver
