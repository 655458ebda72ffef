// Any settings file reads without fault: each problem names its line, the
// files listed have names of their own, reading the same bytes again on top
// of the result gives the same settings, and the file with its secrets
// sealed reads as it did in clear.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "receiver/text/settings_file.h"
#include "receiver/text/song_outputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto latin1 = [](std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
      const unsigned char b = static_cast<unsigned char>(c);
      if (b < 0x80) {
        out += c;
      } else {
        out += static_cast<char>(0xC0 | (b >> 6));
        out += static_cast<char>(0x80 | (b & 0x3F));
      }
    }
    return out;
  };
  const receiver::SettingsRead read = receiver::ReadSettings(input, latin1);
  for (const std::string& problem : read.problems) {
    if (problem.compare(0, 5, "line ") != 0) abort();
  }
  for (const auto& file : read.settings.files) {
    if (file.name.empty() ||
        file.name.find_first_of("/\\:") != std::string::npos) {
      abort();
    }
  }
  const receiver::SettingsRead again =
      receiver::ReadSettings(input, latin1, read.settings);
  if (!receiver::SameFiles(read.settings, again.settings)) abort();
  if (read.settings.targets != again.settings.targets) abort();
  for (const auto& webhook : read.settings.targets.webhooks) {
    if (webhook.name.empty() || webhook.url.empty()) abort();
  }
  // Sealing changes nothing but the secrets: the file reads the same.
  const auto seal = [](std::string_view clear) -> std::optional<std::string> {
    std::string out = "dpapi:";
    for (const char c : clear) {
      out += static_cast<char>('a' + (static_cast<unsigned char>(c) >> 4));
      out += static_cast<char>('a' + (static_cast<unsigned char>(c) & 15));
    }
    return out;
  };
  const auto unseal =
      [](std::string_view sealed) -> std::optional<std::string> {
    sealed.remove_prefix(6);
    if (sealed.size() % 2 != 0 ||
        sealed.find_first_not_of("abcdefghijklmnop") != std::string::npos) {
      return std::nullopt;
    }
    std::string out;
    for (std::size_t i = 0; i < sealed.size(); i += 2) {
      out += static_cast<char>((sealed[i] - 'a') * 16 + (sealed[i + 1] - 'a'));
    }
    return out;
  };
  const std::string utf8 = latin1(input);
  if (const auto sealed = receiver::SealSecrets(utf8, seal)) {
    const receiver::SettingsRead clear =
        receiver::ReadSettings(utf8, nullptr, {}, unseal);
    const receiver::SettingsRead back =
        receiver::ReadSettings(*sealed, nullptr, {}, unseal);
    if (clear.settings.targets != back.settings.targets ||
        clear.problems.size() != back.problems.size()) {
      abort();
    }
  }
  const receiver::Song song{"A", "B", "C", ""};
  receiver::SongFiles(read.settings, std::nullopt, &song, false);
  receiver::SongFiles(read.settings, std::nullopt, &song, true);
  if (receiver::ChatLine(read.settings, &song, false).size() > 4 * 400) abort();
  return 0;
}
