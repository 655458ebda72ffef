#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/songs/song_text.h"

// A file's or the chat's text: "{artist} - {title}", "{TITLE:30}",
// "{artist| - }{title}", "\n" for a new line. A field ending in ":json",
// "{artist:json}", "{TITLE:30:json}", comes out as a JSON string literal
// (quotes included), after its upper case and cut; such a field is never
// empty, so its separator always shows.
namespace receiver {

enum class Field { kArtist, kAlbum, kTitle };

struct TemplatePart {
  enum class Kind { kText, kField, kNewLine } kind = Kind::kText;
  std::string text;  // kText: the text; kField: the separator
  Field field = Field::kTitle;
  bool upper = false;
  std::size_t limit = 0;  // characters; 0: all
  bool json = false;      // as a JSON string literal
};

using Template = std::vector<TemplatePart>;

struct ParsedTemplate {
  std::optional<Template> parts;
  std::string error;  // when there are no parts
};

// How braces read. kFields: each "{" opens a field and a "}" without one is
// a problem. kJson, for a JSON body: only a "{" followed by a letter opens a
// field, any other "{" or "}" is text, and "\n" stays as written (JSON's
// own escape).
enum class TemplateBraces { kFields, kJson };

ParsedTemplate ParseTemplate(std::string_view text,
                             TemplateBraces braces = TemplateBraces::kFields);

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
