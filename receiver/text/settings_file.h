#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/text/file_encoding.h"
#include "receiver/text/target_settings.h"
#include "receiver/text/template.h"

// trackwire_receiver.ini, in the song folder: the song files, idle, history
// and chat, read by a small reader of our own that names the line of each
// problem and keeps the rest.
namespace receiver {

inline constexpr std::string_view kSettingsFileName = "trackwire_receiver.ini";
inline constexpr std::string_view kDefaultLineTemplate = "{artist| - }{title}";

struct FileSettings {
  std::string name;  // e.g. now_playing.txt
  std::string template_text = std::string(kDefaultLineTemplate);
  Template parts = *ParseTemplate(kDefaultLineTemplate).parts;
  FileEncoding encoding = FileEncoding::kUtf8;
  std::optional<std::string> idle;  // none: [idle] text
};

struct ReceiverSettings {
  std::vector<FileSettings> files;  // none: the five files of old
  double idle_minutes = 0;          // 0: the last song stays
  std::string idle_text;
  int history_lines = 10;
  bool log = false;
  std::string chat_template = std::string(kDefaultLineTemplate);
  Template chat = *ParseTemplate(kDefaultLineTemplate).parts;
  std::string chat_idle = "Nothing is playing right now";
  TargetSettings targets;
  // Taken at start only.
  std::optional<int> port;
  std::optional<std::string> listen;
};

struct SettingsRead {
  ReceiverSettings settings;
  // "line 7: ...", one per line that was not taken.
  std::vector<std::string> problems;
};

// The file's bytes: UTF-8 with or without a BOM, or else text in the ANSI
// code page that `from_ansi` turns into UTF-8. A line that is not taken
// leaves its setting as it was in `previous` (the settings in use). A
// secret starting with "dpapi:" goes through `unseal` (the whole value);
// when that fails, or there is no `unseal`, it is a problem and its target
// is off.
SettingsRead ReadSettings(
    std::string_view bytes,
    const std::function<std::string(std::string_view)>& from_ansi,
    const ReceiverSettings& previous = {}, const Unseal& unseal = {});

// The file a first start writes: every setting at its default, commented
// out, each with a line saying what it does.
std::string DefaultSettingsText();

// Whether the song files (names, templates, encodings, idle texts) differ.
bool SameFiles(const ReceiverSettings& a, const ReceiverSettings& b);

}  // namespace receiver
