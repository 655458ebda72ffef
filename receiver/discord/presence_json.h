#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "receiver/discord/discord_settings.h"

// The JSON that goes to Discord's local RPC and what its answers mean.
namespace receiver {

// The song as the profile shows it.
struct Playing {
  std::uint64_t number = 0;  // the song's, as the hub counts them
  std::string artist;
  std::string album;
  std::string title;
  std::int64_t start_ms = 0;  // when it started, in Unix milliseconds
  int length = 0;             // in seconds; 0: not known
  std::string cover_url;      // the cover's address, when one was found
};

bool operator==(const Playing& a, const Playing& b);
bool operator!=(const Playing& a, const Playing& b);

// {"v":1,"client_id":"ID"}
std::string HandshakeJson(std::string_view application);

// The activity object of SET_ACTIVITY: "Listening to" the artist, the title
// above it, the cover (or the settings' image) with the album, and the time
// bar when the length is known.
std::string ActivityJson(const Playing& playing,
                         const DiscordSettings& settings);

// SET_ACTIVITY with `activity` (ActivityJson's), or without one, which
// clears the profile's.
std::string SetActivityJson(std::uint32_t pid, std::string_view activity,
                            std::string_view nonce);

// What a FRAME or CLOSE from Discord says.
struct DiscordAnswer {
  enum class Kind { kReady, kError, kOther };
  Kind kind = Kind::kOther;
  int code = 0;
  std::string message;  // an error's, or a CLOSE's
};

DiscordAnswer ReadAnswer(std::string_view json);

}  // namespace receiver
