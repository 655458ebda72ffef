#pragma once

#include <string>

// The settings file's text form: pure text work, no platform calls.
namespace settings {

struct SettingsValues {
  std::string host;
  std::string port;
  std::string request_path;
};

// Text-mode reading of the file's bytes: CR LF reads as LF, a lone CR stays,
// and a byte 0x1A ends the text.
std::string FromDiskText(const std::string& bytes);

// Text-mode writing: every LF is stored as CR LF.
std::string ToDiskText(const std::string& text);

// host, port and request path from the text read: host up to the first line
// feed, port up to the second, the path after it. With one line feed the
// port is the rest and the path the whole text; with none, all three are the
// whole text. Files written by the store always have both line feeds.
SettingsValues SplitSettingsText(const std::string& text);

// host LF port LF request_path, the form the store writes.
std::string JoinSettingsText(const std::string& host, const std::string& port,
                             const std::string& request_path);

}  // namespace settings
