#include "receiver/settings/secret_keys.h"

namespace receiver {

bool IsSecretKey(std::string_view section, std::string_view key) {
  if (section == "icecast" || section == "shoutcast") return key == "password";
  if (section == "listenbrainz") return key == "token";
  if (section == "lastfm") return key == "secret" || key == "session";
  if (section.compare(0, 8, "webhook ") == 0) {
    return key == "url" || key == "header";
  }
  return false;
}

}  // namespace receiver
