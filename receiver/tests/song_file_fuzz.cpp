// Any bytes as now_playing.json: read without fault, and a song read back is
// clean text that the receiver writes and reads again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "receiver/text/clean_text.h"
#include "receiver/text/song_file_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const receiver::SongFileRead read = receiver::ParseSongFile(input);
  if (read.state != receiver::SongFileState::kSong) return 0;
  const receiver::Song& song = read.song;
  for (const std::string* value :
       {&song.artist, &song.album, &song.title, &song.received}) {
    if (receiver::CleanText(*value) != *value) abort();
  }
  const receiver::SongFileRead again =
      receiver::ParseSongFile(receiver::SongFileJson(&song));
  if (again.state != receiver::SongFileState::kSong ||
      again.song.artist != song.artist || again.song.album != song.album ||
      again.song.title != song.title || again.song.received != song.received) {
    abort();
  }
  return 0;
}
