#include "receiver/settings/discord_section.h"

namespace receiver {

namespace {

// Discord's IDs are 64-bit numbers, 17 to 20 digits long.
bool IsApplicationId(const std::string& value) {
  if (value.size() < 17 || value.size() > 20) return false;
  return value.find_first_not_of("0123456789") == std::string::npos;
}

// An asset's key, or the address of a picture.
bool IsImage(const std::string& value) {
  if (value.size() > 256) return false;
  for (const char c : value) {
    if (c <= 0x20 || c > 0x7E) return false;
  }
  return true;
}

}  // namespace

std::string DiscordKey(const std::string& key, const std::string& value,
                       const DiscordSettings& before,
                       DiscordSettings& settings) {
  if (key == "application") {
    if (value.empty() || IsApplicationId(value)) {
      settings.application = value;
      return {};
    }
    settings.application = before.application;
    return "application is the Application ID from Discord's "
           "developer portal, a number of 17 to 20 digits, not \"" +
           value + "\"";
  }
  if (key == "image") {
    if (IsImage(value)) {
      settings.image = value;
      return {};
    }
    settings.image = before.image;
    return "image is the name of one of the application's art "
           "assets, without spaces, not \"" +
           value + "\"";
  }
  return "unknown setting \"" + key + "\"; it takes application and image";
}

}  // namespace receiver
