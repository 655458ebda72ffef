#pragma once

#include <string_view>

#include "receiver/songs/song_text.h"

namespace receiver {

enum class SongFileState { kSong, kNoSong, kUnreadable };

struct SongFileRead {
  SongFileState state = SongFileState::kUnreadable;
  Song song;
};

// now_playing.json as this receiver or the PHP one wrote it, or as someone
// edited it: any JSON object with artist, album, title or received as
// strings (others empty) is a song, cleaned up like a report; "null" is none.
// A "cover" that is a non-empty string names cover.jpg beside the file: the
// song's cover is then kCoverFile. A "length" of whole seconds, up to
// kMaxSongLength, is the song's.
SongFileRead ParseSongFile(std::string_view json);

}  // namespace receiver
