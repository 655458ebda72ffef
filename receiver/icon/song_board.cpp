#include "receiver/icon/song_board.h"

#include <cstddef>
#include <utility>

#include "receiver/system/lock.h"

namespace receiver {

namespace {

// Enough for a few lines; a flood of notices keeps the oldest.
constexpr std::size_t kMaxNotice = 1000;

}  // namespace

void SongBoard::Set(Song song) {
  Change([&] { song_ = std::move(song); });
}

void SongBoard::Notice(std::string_view text) {
  Change([&] {
    if (notice_.size() >= kMaxNotice) return;
    if (!notice_.empty()) notice_ += '\n';
    notice_.append(text.substr(0, kMaxNotice - notice_.size()));
  });
}

void SongBoard::SetChat(std::string line) {
  LockHold hold(lock_);
  chat_ = std::move(line);
}

std::string SongBoard::Chat() {
  LockHold hold(lock_);
  return chat_;
}

std::string SongBoard::TakeNotice() {
  LockHold hold(lock_);
  return std::exchange(notice_, std::string());
}

void SongBoard::SetProblems(std::size_t count) {
  Change([&] { problems_ = count; });
}

std::size_t SongBoard::Problems() {
  LockHold hold(lock_);
  return problems_;
}

void SongBoard::EndServer() {
  Change([&] { server_ended_ = true; });
}

bool SongBoard::server_ended() {
  LockHold hold(lock_);
  return server_ended_;
}

void SongBoard::Change(const std::function<void()>& change) {
  HWND window = nullptr;
  UINT message = 0;
  {
    LockHold hold(lock_);
    change();
    if (window_ == nullptr || posted_) return;
    posted_ = true;
    window = window_;
    message = message_;
  }
  // PostMessageW does not wait for the window's thread.
  if (!PostMessageW(window, message, 0, 0)) {
    LockHold hold(lock_);
    posted_ = false;
  }
}

std::optional<Song> SongBoard::Get() {
  LockHold hold(lock_);
  posted_ = false;
  return song_;
}

void SongBoard::Listen(HWND window, UINT message) {
  {
    LockHold hold(lock_);
    window_ = window;
    message_ = message;
    posted_ = false;
    if (window_ == nullptr || (notice_.empty() && !server_ended_)) return;
    posted_ = true;
  }
  if (!PostMessageW(window, message, 0, 0)) {
    LockHold hold(lock_);
    posted_ = false;
  }
}

}  // namespace receiver
