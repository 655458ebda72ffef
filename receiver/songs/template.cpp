#include "receiver/songs/template.h"

#include "receiver/songs/upper_case.h"
#include "receiver/system/ascii.h"
#include "receiver/system/utf8.h"

namespace receiver {

namespace {

// More would only ever be cut by the 500 characters a value keeps.
constexpr std::size_t kMaxLimit = 9999;

bool IsCombining(char32_t c) {
  return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
         (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
         (c >= 0xFE20 && c <= 0xFE2F) || c == 0x3099 || c == 0x309A;
}

std::optional<TemplatePart> ParseField(std::string_view inside,
                                       std::string& error) {
  TemplatePart part;
  part.kind = TemplatePart::Kind::kField;
  const std::size_t bar = inside.find('|');
  if (bar != std::string_view::npos) {
    part.text = std::string(inside.substr(bar + 1));
    inside = inside.substr(0, bar);
  }
  constexpr std::string_view kJson = ":json";
  if (inside.size() > kJson.size() &&
      inside.substr(inside.size() - kJson.size()) == kJson) {
    part.json = true;
    inside.remove_suffix(kJson.size());
  }
  const std::size_t colon = inside.find(':');
  if (colon != std::string_view::npos) {
    const std::string_view digits = inside.substr(colon + 1);
    inside = inside.substr(0, colon);
    std::size_t limit = 0;
    for (const char c : digits) {
      if (c < '0' || c > '9' || limit > kMaxLimit) {
        limit = 0;
        break;
      }
      limit = limit * 10 + static_cast<std::size_t>(c - '0');
    }
    if (limit == 0 || limit > kMaxLimit) {
      error = "{" + std::string(inside) + ":" + std::string(digits) +
              "}: the length after \":\" is a number from 1 to 9999";
      return std::nullopt;
    }
    part.limit = limit;
  }
  constexpr std::pair<std::string_view, Field> kNames[] = {
      {"artist", Field::kArtist},
      {"album", Field::kAlbum},
      {"title", Field::kTitle}};
  for (const auto& [name, field] : kNames) {
    const std::string upper = UpperAscii(name);
    if (inside == name || inside == upper) {
      part.field = field;
      part.upper = inside == upper;
      return part;
    }
  }
  error = "unknown field {" + std::string(inside) +
          "}; the fields are {artist}, {album} and {title}";
  return std::nullopt;
}

const std::string& FieldValue(const Song& song, Field field) {
  switch (field) {
    case Field::kArtist:
      return song.artist;
    case Field::kAlbum:
      return song.album;
    case Field::kTitle:
      break;
  }
  return song.title;
}

}  // namespace

ParsedTemplate ParseTemplate(std::string_view text, TemplateBraces braces) {
  const bool json = braces == TemplateBraces::kJson;
  const auto opens_field = [&](std::size_t i) {
    if (!json) return true;
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    return (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z');
  };
  Template parts;
  std::string literal;
  const auto flush = [&] {
    if (literal.empty()) return;
    TemplatePart part;
    part.text = std::move(literal);
    parts.push_back(std::move(part));
    literal.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (!json && c == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      flush();
      TemplatePart part;
      part.kind = TemplatePart::Kind::kNewLine;
      parts.push_back(std::move(part));
      ++i;
    } else if (c == '}' && !json) {
      return {std::nullopt, "a \"}\" without its \"{\""};
    } else if (c == '{' && opens_field(i)) {
      const std::size_t end = text.find_first_of("{}", i + 1);
      if (end == std::string_view::npos || text[end] == '{') {
        return {std::nullopt, "a \"{\" without its \"}\""};
      }
      std::string error;
      std::optional<TemplatePart> part =
          ParseField(text.substr(i + 1, end - i - 1), error);
      if (!part) return {std::nullopt, error};
      flush();
      parts.push_back(std::move(*part));
      i = end;
    } else {
      literal += c;
    }
  }
  flush();
  return {std::move(parts), {}};
}

std::string CutText(std::string_view utf8, std::size_t limit) {
  const std::u32string text = DecodeUtf8(utf8);
  if (text.size() <= limit) return std::string(utf8);
  std::string out;
  if (limit == 0) return out;
  std::size_t keep = limit - 1;
  // A letter goes with its marks, or the marks would sit on the "…".
  while (keep > 0 && IsCombining(text[keep])) --keep;
  for (std::size_t i = 0; i < keep; ++i) AppendUtf8(out, text[i]);
  out += "\xE2\x80\xA6";
  return out;
}

std::string ExpandTemplate(const Template& parts, const Song& song,
                           NewLine new_line) {
  std::vector<std::string> pieces;
  pieces.reserve(parts.size());
  for (const TemplatePart& part : parts) {
    switch (part.kind) {
      case TemplatePart::Kind::kText:
        pieces.push_back(part.text);
        break;
      case TemplatePart::Kind::kNewLine:
        pieces.push_back(new_line == NewLine::kCrLf ? "\r\n" : " ");
        break;
      case TemplatePart::Kind::kField: {
        const std::string& value = FieldValue(song, part.field);
        std::string shown = part.upper ? UpperCaseText(value) : value;
        if (part.limit != 0) shown = CutText(shown, part.limit);
        if (part.json) shown = JsonString(shown);
        pieces.push_back(std::move(shown));
        break;
      }
    }
  }
  std::string out;
  std::size_t line_start = 0;
  // A separator written after a field already joins it to the next one.
  bool joined = false;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const TemplatePart& part = parts[i];
    if (part.kind == TemplatePart::Kind::kNewLine) {
      out += pieces[i];
      line_start = out.size();
      joined = false;
      continue;
    }
    if (pieces[i].empty()) continue;
    const bool separated =
        part.kind == TemplatePart::Kind::kField && !part.text.empty();
    if (!separated) {
      out += pieces[i];
      joined = false;
      continue;
    }
    if (out.size() > line_start && !joined) {
      out += part.text;
      out += pieces[i];
      continue;
    }
    out += pieces[i];
    joined = false;
    for (std::size_t j = i + 1; j < parts.size(); ++j) {
      if (parts[j].kind == TemplatePart::Kind::kNewLine) break;
      if (!pieces[j].empty()) {
        out += part.text;
        joined = true;
        break;
      }
    }
  }
  return out;
}

}  // namespace receiver
