// Any settings file reads without fault: each problem names its line, the
// files listed have names of their own, and reading the same bytes again on
// top of the result gives the same settings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
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
  const receiver::Song song{"A", "B", "C", ""};
  receiver::SongFiles(read.settings, std::nullopt, &song, false);
  receiver::SongFiles(read.settings, std::nullopt, &song, true);
  if (receiver::ChatLine(read.settings, &song, false).size() > 4 * 400) abort();
  return 0;
}
