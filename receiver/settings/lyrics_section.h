#pragma once

#include <string>

#include "receiver/services/service_settings.h"

namespace receiver {

// One key of [lyrics] but url (lower case): enabled, offset. Returns the
// problem without "line N: ", or empty; a bad value keeps `before`'s.
std::string LyricsKey(const std::string& key, const std::string& value,
                      LyricsSettings& lyrics, const LyricsSettings& before);

}  // namespace receiver
