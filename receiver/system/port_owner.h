#pragma once

#include <optional>
#include <string>

namespace receiver {

// A process that listens on a TCP port of this PC, as Windows' table of
// listeners tells.
struct PortOwner {
  unsigned long process_id = 0;
  // Its program's file name as UTF-8 ("httpd.exe"); empty when the process
  // cannot be opened, as some services' cannot.
  std::string program;
};

// The listener on `port` over IPv4, else over IPv6; none when nothing
// listens there or Windows does not say.
std::optional<PortOwner> FindPortOwner(int port);

}  // namespace receiver
