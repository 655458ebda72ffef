#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "receiver/text/song_text.h"

namespace receiver {

class Thread;

// Replaces `path` with `contents` atomically: a new file is written beside it
// and renamed over it, so readers see the old file or the new one, never a
// part. Returns an empty string, or what went wrong.
std::string ReplaceFile(const std::wstring& path, std::string_view contents);

// The song files, in the order SongFileWriter::Write takes their contents:
// the formatted line, the JSON, then one file per field (for a text source
// per field), each UTF-8 without a BOM or a line end.
inline constexpr std::size_t kSongFileCount = 5;
inline constexpr const wchar_t* kSongFileNames[kSongFileCount] = {
    L"now_playing.txt", L"now_playing.json", L"artist.txt", L"album.txt",
    L"title.txt"};

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

  // Returns at once; the files follow.
  void Write(std::string text, std::string json, const Song& song);

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
