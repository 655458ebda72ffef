#pragma once

#include <optional>
#include <string>
#include <vector>

namespace receiver {

struct ServerConfig {
  std::string listen;
  int port = 80;
  std::wstring folder;  // full path, exists
  std::optional<std::string> format;
  unsigned code_page = 0;
  std::vector<std::string> allow_hosts;  // besides this PC's own names
};

// Listens and serves until Ctrl+C or the console closes; the song files are
// written on a thread of their own. Returns the exit code: 0 after a clean
// stop, 2 when it cannot listen.
int RunServer(const ServerConfig& config);

}  // namespace receiver
