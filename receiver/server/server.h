#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "receiver/text/settings_file.h"
#include "receiver/text/song_text.h"

namespace receiver {

struct ServerConfig {
  std::string listen;
  int port = 80;
  std::wstring folder;  // full path, exists
  std::optional<std::string> format;
  unsigned code_page = 0;
  std::vector<std::string> allow_hosts;  // besides this PC's own names
  std::optional<std::string> key;        // what a report's key= must be
  ReceiverSettings settings;             // the settings file's, at start
  std::string settings_notice;           // its problems, told at start
};

// Ends a running RunServer from any thread; asked before the server
// listens, it ends the server as soon as it does.
class ServerStop {
 public:
  ServerStop() = default;
  ServerStop(const ServerStop&) = delete;
  ServerStop& operator=(const ServerStop&) = delete;

  void Stop();

  // While it lives, Stop() calls `how` (at once when it was asked before);
  // for RunServer, whose run it spans however that run ends.
  class Armed {
   public:
    Armed(ServerStop* stop, std::function<void()> how);
    Armed(const Armed&) = delete;
    Armed& operator=(const Armed&) = delete;
    ~Armed();

   private:
    ServerStop* stop_;
  };

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::function<void()> stop_;
  bool requested_ = false;
};

// The menu's "Clear the song", from any thread: the server's thread does it
// soon after; nothing while no server runs.
class ServerCommands {
 public:
  ServerCommands() = default;
  ServerCommands(const ServerCommands&) = delete;
  ServerCommands& operator=(const ServerCommands&) = delete;

  void ClearSong();

  // While it lives, ClearSong() calls `how`.
  class Armed {
   public:
    Armed(ServerCommands* commands, std::function<void()> how);
    Armed(const Armed&) = delete;
    Armed& operator=(const Armed&) = delete;
    ~Armed();

   private:
    ServerCommands* commands_;
  };

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::function<void()> clear_;
};

// What the program around the server hears from it, on the server's thread;
// neither may wait for another thread.
struct ServerHooks {
  ServerStop* stop = nullptr;
  // Once, when the server listens.
  std::function<void()> listening;
  // The song read back at start, and each new one.
  std::function<void(const Song&)> song;
  // The chat's line whenever it changes.
  std::function<void(const std::string&)> chat;
  ServerCommands* commands = nullptr;
};

// Listens and serves until Ctrl+C, the console closes or `hooks.stop`; the
// song files are written on a thread of their own. Returns the exit code: 0
// after a clean stop, 2 when it cannot listen.
int RunServer(const ServerConfig& config, const ServerHooks& hooks = {});

}  // namespace receiver
