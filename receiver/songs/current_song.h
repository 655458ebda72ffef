#pragma once

#include <windows.h>

#include <optional>

#include "receiver/songs/song_text.h"

namespace receiver {

// The latest song, for whichever thread shows it: the server's page and
// JSON now, a window of its own later. Hands out copies, never references.
class CurrentSong {
 public:
  CurrentSong() = default;
  CurrentSong(const CurrentSong&) = delete;
  CurrentSong& operator=(const CurrentSong&) = delete;

  void Set(Song song);
  std::optional<Song> Get() const;

 private:
  mutable SRWLOCK lock_ = SRWLOCK_INIT;
  std::optional<Song> song_;
};

}  // namespace receiver
