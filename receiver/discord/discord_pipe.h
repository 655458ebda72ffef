#pragma once

#include <windows.h>

#include <string>

#include "receiver/system/handles.h"

namespace receiver {

// The Discord app's end of its local RPC, \\?\pipe\discord-ipc-N, opened for
// overlapped I/O: a read always waits on read_event(), and a write is waited
// for a moment at most, so that a stuck app holds up nothing for long.
class DiscordPipe {
 public:
  DiscordPipe();
  DiscordPipe(const DiscordPipe&) = delete;
  DiscordPipe& operator=(const DiscordPipe&) = delete;
  ~DiscordPipe();

  // False when its events could not be made.
  bool ready() const { return read_event_ && write_event_; }
  bool open() const { return static_cast<bool>(pipe_); }

  // The first of discord-ipc-0 to discord-ipc-9 that opens.
  bool Open();
  void Close();

  // Set when a read has finished.
  HANDLE read_event() const { return read_event_.get(); }
  // Appends what the finished read brought and starts the next; false when
  // the connection ended.
  bool TakeRead(std::string& bytes);
  bool Write(const std::string& bytes);

 private:
  bool StartRead();

  FileHandle pipe_;
  KernelHandle read_event_;
  KernelHandle write_event_;
  OVERLAPPED read_{};
  OVERLAPPED write_{};
  bool reading_ = false;
  char buffer_[8192];
};

}  // namespace receiver
