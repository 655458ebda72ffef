#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "receiver/settings/settings_file.h"
#include "receiver/songs/song_text.h"
#include "receiver/system/armed_call.h"

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
  // The same for the control page: the reader's, and the file's own.
  decltype(SettingsRead::problems) settings_problems;
  std::string settings_file_problem;
  std::string control_key;  // what the control page's calls carry
  // A port in use is mended in the settings file rather than with --port:
  // an icon's, when the port did not come from the command line.
  bool port_in_settings = false;
};

// Ends a running RunServer from any thread; asked before the server
// listens, it ends the server as soon as it does.
class ServerStop : public ArmedCall {
 public:
  ServerStop() : ArmedCall(kLatched) {}
  void Stop() { Call(); }
};

// What the icon asks of a running server, from any thread: the server's
// thread does it soon after; nothing while no server runs.
struct ServerCommands {
  ArmedCall clear_song;  // the menu's "Clear the song"
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
  // The number of open problems (the control page lists them) when it
  // changes.
  std::function<void(std::size_t)> problems;
  ServerCommands* commands = nullptr;
};

// Listens and serves until Ctrl+C, the console closes or `hooks.stop`; the
// song files are written on a thread of their own. Returns the exit code: 0
// after a clean stop, 2 when it cannot listen.
int RunServer(const ServerConfig& config, const ServerHooks& hooks = {});

// What RunServer's end takes at most once it is stopped: Discord's song
// cleared, the relay's end and the song files' last try (a disk that is
// stuck is left behind).
inline constexpr unsigned kPresenceEndMs = 200;
inline constexpr unsigned kRelayEndMs = 800;
inline constexpr unsigned kSongFilesEndMs = 1500;
inline constexpr unsigned kServerEndMs =
    kPresenceEndMs + kRelayEndMs + kSongFilesEndMs;

}  // namespace receiver
