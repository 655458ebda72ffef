#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "receiver/settings/secret_keys.h"

namespace receiver {

struct SealedText {
  // The file to write; nullopt when no secret was in clear or one could not
  // be sealed.
  std::optional<std::string> text;
  // The secret `seal` failed for, as "[icecast] password"; else empty.
  std::string failed;
};

// The settings file's text (UTF-8) with each secret still in clear (not
// empty, not starting with "dpapi:") replaced by seal(value), quotes
// dropped; the rest of its line (indentation, key, a comment, the line end)
// and every other line stay byte for byte.
SealedText SealSecrets(std::string_view text, const Seal& seal);

}  // namespace receiver
