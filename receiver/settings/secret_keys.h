#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Which values of the settings file are secrets, and how they are sealed:
// the one list that both the reader and the sealing pass go by.
namespace receiver {

inline constexpr std::string_view kSealedPrefix = "dpapi:";

// A "dpapi:..." value turned back into the clear one, or why it could not
// be: damaged (cut or changed in the file), or sealed for another Windows
// user or on another PC.
struct Unsealed {
  enum class Failure { kNone, kDamaged, kOtherUser };
  std::optional<std::string> clear;
  Failure failure = Failure::kNone;  // kNone when there is `clear`
};
using Unseal = std::function<Unsealed(std::string_view sealed)>;
// Turns a clear value into "dpapi:..."; nullopt when it cannot.
using Seal = std::function<std::optional<std::string>(std::string_view clear)>;

// Whether `key` (lower case) in the section `section` (the lower-case text
// between the brackets, e.g. "webhook discord") holds a secret: [icecast]
// and [shoutcast] password, [listenbrainz] token, a webhook's url and header.
bool IsSecretKey(std::string_view section, std::string_view key);

}  // namespace receiver
