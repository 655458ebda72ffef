#pragma once

#include <string>

#include "receiver/discord/discord_settings.h"

namespace receiver {

// One "key = value" of [discord] (key in lower case) into `settings`; a
// value that is not taken leaves `before`'s. Returns the problem, if any.
std::string DiscordKey(const std::string& key, const std::string& value,
                       const DiscordSettings& before,
                       DiscordSettings& settings);

}  // namespace receiver
