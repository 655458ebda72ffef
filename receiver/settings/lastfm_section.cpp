#include "receiver/settings/lastfm_section.h"

namespace receiver {

namespace {

// Last.fm's keys, secrets and session keys are 32 hex digits; another
// service's may differ, but none holds a space.
bool OneWord(const std::string& value) {
  return value.find_first_of(" \t") == std::string::npos;
}

}  // namespace

std::string LastFmKey(const std::string& key, const std::string& value,
                      LastFmSettings& lastfm) {
  std::string* into = nullptr;
  if (key == "key") {
    into = &lastfm.key;
  } else if (key == "secret") {
    into = &lastfm.secret;
  } else if (key == "session") {
    into = &lastfm.session;
  } else {
    return "unknown setting \"" + key +
           "\"; it takes key, secret, session and url";
  }
  // The values are credentials: a problem does not repeat them.
  if (!OneWord(value)) return key + " is one word, as Last.fm gives it";
  *into = value;
  return {};
}

}  // namespace receiver
