#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/songs/file_encoding.h"
#include "receiver/songs/template.h"

// What the settings file says of the songs themselves: their files, idle,
// history and the chat's line.
namespace receiver {

inline constexpr std::string_view kDefaultLineTemplate = "{artist| - }{title}";

struct FileSettings {
  std::string name;  // e.g. now_playing.txt
  std::string template_text = std::string(kDefaultLineTemplate);
  Template parts = *ParseTemplate(kDefaultLineTemplate).parts;
  FileEncoding encoding = FileEncoding::kUtf8;
  std::optional<std::string> idle;  // none: [idle] text
};

struct SongSettings {
  std::vector<FileSettings> files;  // none: the five files of old
  double idle_minutes = 0;          // 0: the last song stays
  std::string idle_text;
  int history_lines = 10;
  bool log = false;
  std::string chat_template = std::string(kDefaultLineTemplate);
  Template chat = *ParseTemplate(kDefaultLineTemplate).parts;
  std::string chat_idle = "Nothing is playing right now";
};

// Whether the song files (names, templates, encodings, idle texts) differ.
bool SameFiles(const SongSettings& a, const SongSettings& b);

}  // namespace receiver
