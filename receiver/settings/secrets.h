#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "receiver/settings/secret_keys.h"

// Secrets in the settings file, sealed for this Windows user with DPAPI.
namespace receiver {

// "dpapi:" + base64 of CryptProtectData(clear) for this Windows user, without
// any prompt; nullopt when Windows cannot seal it.
std::optional<std::string> SealSecret(std::string_view clear);

// The clear text of a "dpapi:..." value, or why there is none: damaged
// (not one, not base64, too short, or data Windows calls bad), or sealed by
// another user or on another PC.
Unsealed UnsealSecret(std::string_view sealed);

}  // namespace receiver
