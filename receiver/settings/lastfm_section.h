#pragma once

#include <string>

#include "receiver/services/service_settings.h"

namespace receiver {

// One key of [lastfm] but url (lower case): key, secret, session. Returns
// the problem without "line N: ", or empty.
std::string LastFmKey(const std::string& key, const std::string& value,
                      LastFmSettings& lastfm);

}  // namespace receiver
