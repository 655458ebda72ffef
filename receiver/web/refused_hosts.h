#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>

namespace receiver {

// A request refused for the host it names: its Host value (none when it had
// none) and the peer's address.
struct RefusedHost {
  std::optional<std::string> host;
  std::string peer;
};

// Says the first refusal of each host once, so that a plug-in pointed at a
// name shows why its reports go nowhere; a flood of names is not said.
class RefusedHosts {
 public:
  static constexpr std::size_t kMaxSaid = 64;

  // The line to print, or nothing when this host was said before.
  std::optional<std::string> Note(const RefusedHost& refused);

 private:
  std::set<std::string> said_;
};

}  // namespace receiver
