// Any file bytes: the split rule holds on the text read, and a store-then-
// load round trip keeps host and port when they hold no line feed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/settings_text.h"

using settings::FromDiskText;
using settings::JoinSettingsText;
using settings::SplitSettingsText;
using settings::ToDiskText;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = FromDiskText(bytes);
  if (text.find('\x1A') != std::string::npos) abort();
  if (text.size() > bytes.size()) abort();

  const settings::SettingsValues v = SplitSettingsText(text);
  const std::size_t line_feeds =
      static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  if (line_feeds >= 2) {
    if (v.host + "\n" + v.port + "\n" + v.request_path != text) abort();
    if (v.host.find('\n') != std::string::npos) abort();
    if (v.port.find('\n') != std::string::npos) abort();
  } else if (line_feeds == 1) {
    if (v.host + "\n" + v.port != text || v.request_path != text) abort();
  } else if (v.host != text || v.port != text || v.request_path != text) {
    abort();
  }

  // What the store writes reads back to the same values.
  if (line_feeds >= 2) {
    const settings::SettingsValues back = SplitSettingsText(FromDiskText(
        ToDiskText(JoinSettingsText(v.host, v.port, v.request_path))));
    if (back.host != v.host || back.port != v.port ||
        back.request_path != v.request_path) {
      abort();
    }
  }
  return 0;
}
