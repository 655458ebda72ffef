#include "receiver/songs/song_folder.h"

#include <windows.h>

#include "receiver/songs/own_files.h"
#include "receiver/songs/song_file_read.h"
#include "receiver/system/code_page.h"
#include "receiver/system/files.h"
#include "receiver/system/handles.h"
#include "receiver/system/system_message.h"

namespace receiver {

namespace {

// Four fields of 500 characters, escaped, stay far below this.
constexpr std::size_t kMaxSongFile = 64 * 1024;

std::string Failure(const char* what, const std::wstring& path) {
  const DWORD error = GetLastError();
  return std::string(what) + " " + WideToUtf8(path) + ": " +
         SystemMessage(error);
}

}  // namespace

std::optional<Song> ReadBackSong(const std::wstring& folder,
                                 std::string& problem) {
  const std::wstring path = FolderFile(folder, kSongJsonFile);
  std::string failure;
  bool too_large = false;
  const std::optional<std::string> contents =
      ReadBoundedFile(path, failure, kMaxSongFile, &too_large);
  if (!contents && !too_large) {
    problem = failure;
    return std::nullopt;
  }
  const SongFileRead song =
      contents ? ParseSongFile(*contents) : SongFileRead();
  if (song.state == SongFileState::kUnreadable) {
    problem = "ignoring " + WideToUtf8(path) +
              ": it holds no song (the page starts with \"Nothing yet\")";
  }
  if (song.state != SongFileState::kSong) return std::nullopt;
  return song.song;
}

std::wstring FolderFile(const std::wstring& folder, std::string_view name) {
  return folder + L"\\" + Utf8ToWide(std::string(name));
}

HistoryReadBack ReadBackHistory(const std::wstring& folder,
                                std::string& problem) {
  HistoryReadBack back;
  const std::wstring path = FolderFile(folder, kHistoryJsonFile);
  std::string failure;
  bool too_large = false;
  const std::optional<std::string> contents =
      ReadBoundedFile(path, failure, kMaxHistoryJson, &too_large);
  if (contents) {
    if (auto entries = ParseHistoryJson(*contents)) {
      back.entries = std::move(*entries);
      return back;
    }
    failure = WideToUtf8(path) + " does not read as a history (cut or damaged)";
  } else if (failure.empty()) {
    return back;
  }
  const std::wstring aside =
      MoveAside(path, Utf8ToWide(std::string(kAsideEnding)));
  if (aside.empty()) {
    back.writable = false;
    problem = failure +
              "; the history starts empty, and the file is kept "
              "as it is: it is not written until the next start";
  } else {
    problem = failure + "; the history starts empty, the file is kept as " +
              WideToUtf8(aside);
  }
  return back;
}

std::string PrepareFolder(const std::wstring& folder, std::wstring& full_path) {
  const std::wstring name = folder.empty() ? L"." : folder;
  const DWORD length = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (length == 0) return Failure("cannot use the folder", name);
  std::wstring full(length, L'\0');
  const DWORD written =
      GetFullPathNameW(name.c_str(), length, full.data(), nullptr);
  if (written == 0 || written >= length) {
    return Failure("cannot use the folder", name);
  }
  full.resize(written);
  const DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (!CreateDirectoryW(full.c_str(), nullptr)) {
      return Failure("cannot make the folder", full);
    }
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return "not a folder: " + WideToUtf8(full);
  }
  while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) {
    full.pop_back();
  }
  // Find out now, not at the first song, when the folder is read-only.
  const std::wstring probe = full + L"\\now_playing." +
                             std::to_wstring(GetCurrentProcessId()) + L".tmp";
  const FileHandle file(CreateFileW(
      probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!file) return Failure("cannot write in the folder", full);
  full_path = full;
  return {};
}

}  // namespace receiver
