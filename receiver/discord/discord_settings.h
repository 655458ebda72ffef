#pragma once

#include <string>

// The [discord] section of trackwire_receiver.ini: each song on the user's
// Discord profile through the Discord app on this PC, off by default.
namespace receiver {

struct DiscordSettings {
  // The Application ID of the user's own application in Discord's developer
  // portal, whose name the profile shows; empty: off.
  std::string application;
  // One of that application's art assets, shown for a song without a cover.
  std::string image;
};

inline bool operator==(const DiscordSettings& a, const DiscordSettings& b) {
  return a.application == b.application && a.image == b.image;
}
inline bool operator!=(const DiscordSettings& a, const DiscordSettings& b) {
  return !(a == b);
}

}  // namespace receiver
