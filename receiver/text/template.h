#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/text/song_text.h"

// A file's or the chat's text: "{artist} - {title}", "{TITLE:30}",
// "{artist| - }{title}", "\n" for a new line.
namespace receiver {

enum class Field { kArtist, kAlbum, kTitle };

struct TemplatePart {
  enum class Kind { kText, kField, kNewLine } kind = Kind::kText;
  std::string text;  // kText: the text; kField: the separator
  Field field = Field::kTitle;
  bool upper = false;
  std::size_t limit = 0;  // characters; 0: all
};

using Template = std::vector<TemplatePart>;

struct ParsedTemplate {
  std::optional<Template> parts;
  std::string error;  // when there are no parts
};

ParsedTemplate ParseTemplate(std::string_view text);

// How "\n" comes out: CR LF in a file, a space in a chat line.
enum class NewLine { kCrLf, kSpace };

// A field's separator is written only between it and other text: before the
// field when the line so far has text, else after it when text follows.
std::string ExpandTemplate(const Template& parts, const Song& song,
                           NewLine new_line);

// At most `limit` characters; when it had to cut, the last is "…". A cut
// never splits a UTF-8 sequence nor leaves a letter's combining marks behind
// without it.
std::string CutText(std::string_view utf8, std::size_t limit);

}  // namespace receiver
