#pragma once

// <windows.h> names ReplaceFile ReplaceFileW: every user of the one below
// must see that too, or it calls a function that is not there.
#include <windows.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/text/song_outputs.h"
#include "receiver/text/song_text.h"

namespace receiver {

class Thread;

// Replaces `path` with `contents` atomically: a new file is written beside it
// and renamed over it, so readers see the old file or the new one, never a
// part. Returns an empty string, or what went wrong.
std::string ReplaceFile(const std::wstring& path, std::string_view contents);

// Keeps the song files in `folder` at the latest song, on a thread of its
// own: a file that cannot be replaced now (a program holds
// it open without delete sharing) is tried again later, less and less often,
// and always with the newest contents. A file's first failure is printed,
// and so is its recovery; nothing per retry.
class SongFileWriter {
 public:
  explicit SongFileWriter(const std::wstring& folder);
  SongFileWriter(const SongFileWriter&) = delete;
  SongFileWriter& operator=(const SongFileWriter&) = delete;
  ~SongFileWriter();

  // False when its thread could not start: no file would ever be written.
  bool started() const;

  // Returns at once; the files (names in the folder) follow.
  void Write(std::vector<OutputFile> files);

  // Adds `row` to the file `name` under the folder's log\ (made when
  // missing), after `start` when the file is new; flushed at once.
  void Append(std::string name, std::string start, std::string row);

  // Tries what is still pending once more and ends the thread.
  void Finish();

  struct State;

 private:
  std::shared_ptr<State> state_;
  std::unique_ptr<Thread> thread_;
};

// The song in `folder`'s now_playing.json, for the page after a restart.
// No file: nothing. A file that holds no song: nothing, and `problem` says
// why.
std::optional<Song> ReadBackSong(const std::wstring& folder,
                                 std::string& problem);

// The folder as a full path, made when it is missing. Returns an empty
// string, or what went wrong.
std::string PrepareFolder(const std::wstring& folder, std::wstring& full_path);

}  // namespace receiver
