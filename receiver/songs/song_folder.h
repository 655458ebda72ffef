#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/songs/history.h"
#include "receiver/songs/song_text.h"

// The song folder itself: made and checked at start, and the song it holds
// from before.
namespace receiver {

// The song in `folder`'s now_playing.json, for the page after a restart.
// No file: nothing. A file that holds no song: nothing, and `problem` says
// why.
std::optional<Song> ReadBackSong(const std::wstring& folder,
                                 std::string& problem);

// `name`, one of the receiver's own (own_files.h), in `folder`.
std::wstring FolderFile(const std::wstring& folder, std::string_view name);

struct HistoryReadBack {
  std::vector<HistoryEntry> entries;  // newest first
  // False when history.json could not be read, nor moved aside: it is then
  // not written over while the receiver runs.
  bool writable = true;
};

// `folder`'s history.json, for the history after a restart. One that cannot
// be read, is too large or does not parse is moved aside to
// history.json.bad, so that the next song does not write over it; `problem`
// says so.
HistoryReadBack ReadBackHistory(const std::wstring& folder,
                                std::string& problem);

// The folder as a full path, made when it is missing. Returns an empty
// string, or what went wrong.
std::string PrepareFolder(const std::wstring& folder, std::wstring& full_path);

}  // namespace receiver
