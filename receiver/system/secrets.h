#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "receiver/text/target_settings.h"

// Secrets in the settings file, sealed for this Windows user with DPAPI.
namespace receiver {

// "dpapi:" + base64 of CryptProtectData(clear) for this Windows user, without
// any prompt; nullopt when Windows cannot seal it.
std::optional<std::string> SealSecret(std::string_view clear);

// The clear text of a "dpapi:..." value; nullopt when it is not one or cannot
// be decrypted (sealed by another user or on another PC, or damaged).
std::optional<std::string> UnsealSecret(std::string_view sealed);

}  // namespace receiver
