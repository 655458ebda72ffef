#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "receiver/songs/song_text.h"

namespace receiver {

// The latest song, written by the server's thread and read by the tray's:
// the one place they share, behind a lock that is held only to copy a song.
// After a change it posts one message to the listening window, and no more
// until that window has read the song, so a burst of reports cannot fill the
// window's queue, and the server never waits for the window.
class SongBoard {
 public:
  SongBoard() = default;
  SongBoard(const SongBoard&) = delete;
  SongBoard& operator=(const SongBoard&) = delete;

  void Set(Song song);
  // The song, and the end of the announcement: the next change posts again.
  std::optional<Song> Get();

  // The chat's line, for "Copy the song"; no announcement.
  void SetChat(std::string line);
  std::string Chat();

  // Something the user should read (a file that cannot be written, a host
  // name refused): kept, joined to what came before and was not yet taken,
  // and announced like a new song.
  void Notice(std::string_view text);
  std::string TakeNotice();

  // The number of open problems, announced like a new song when it changes.
  void SetProblems(std::size_t count);
  std::size_t Problems();

  // The server has ended: announced like a change, and told to a window
  // that listens only later, so that the icon never outlives its server.
  void EndServer();
  bool server_ended();

  // `message` goes to `window` after each change, and at once when a notice
  // or the server's end came before it listened; a null window stops it.
  void Listen(HWND window, UINT message);

 private:
  // Makes the change under the lock, then announces it.
  void Change(const std::function<void()>& change);

  SRWLOCK lock_ = SRWLOCK_INIT;
  std::optional<Song> song_;
  std::string notice_;
  std::string chat_;
  std::size_t problems_ = 0;
  HWND window_ = nullptr;
  UINT message_ = 0;
  bool posted_ = false;  // a message is on its way and the song not yet read
  bool server_ended_ = false;
};

}  // namespace receiver
