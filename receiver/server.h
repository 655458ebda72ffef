#pragma once

#include <optional>
#include <string>

namespace receiver {

struct ServerConfig {
  std::string listen;
  int port = 80;
  std::wstring folder;  // full path, exists
  std::optional<std::string> format;
  unsigned code_page = 0;
};

// Listens and serves until Ctrl+C or the console closes. Returns the exit
// code: 0 after a clean stop, 2 when it cannot listen.
int RunServer(const ServerConfig& config);

}  // namespace receiver
