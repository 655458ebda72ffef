#include "receiver/settings/ini_document.h"

#include <utility>

#include "receiver/settings/ini_line.h"
#include "receiver/system/ascii.h"

namespace receiver {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(std::string_view text) { return TrimBlanks(text).empty(); }

std::string Indentation(std::string_view text) {
  return std::string(text.substr(0, text.find_first_not_of(" \t")));
}

}  // namespace

std::string IniSectionName(std::string_view inside) {
  const std::string lower = LowerAscii(TrimBlanks(inside));
  const std::size_t space = lower.find(' ');
  if (space == std::string::npos) return lower;
  return lower.substr(0, space) + " " +
         std::string(TrimBlanks(std::string_view(lower).substr(space + 1)));
}

std::optional<std::string> IniWrittenValue(std::string_view value) {
  if (value.find_first_of("\r\n") != std::string_view::npos) {
    return std::nullopt;
  }
  if (FindIniValue(value).text == value) return std::string(value);
  if (value.find('"') == std::string_view::npos) {
    return "\"" + std::string(value) + "\"";
  }
  return std::nullopt;
}

IniDocument::IniDocument(std::string_view text,
                         std::function<bool(std::string_view)> once)
    : once_(std::move(once)) {
  if (text.substr(0, kBom.size()) == kBom) {
    bom_ = std::string(kBom);
    text.remove_prefix(kBom.size());
  }
  bool found_end = false;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    Line line;
    if (end == std::string_view::npos) {
      line.text = std::string(text.substr(start));
      start = text.size();
    } else {
      std::size_t content = end;
      if (content > start && text[content - 1] == '\r') --content;
      line.text = std::string(text.substr(start, content - start));
      line.end = std::string(text.substr(content, end + 1 - content));
      // Added lines end as the file's first line does.
      if (!found_end) new_line_ = line.end;
      found_end = true;
      start = end + 1;
    }
    lines_.push_back(std::move(line));
  }
}

std::string IniDocument::Text() const {
  std::string text = bom_;
  for (const Line& line : lines_) text += line.text + line.end;
  return text;
}

IniDocument::Kind IniDocument::KindOf(const Line& line) const {
  const std::string_view text = TrimBlanks(line.text);
  if (text.empty() || text.front() == ';' || text.front() == '#') {
    return Kind::kOther;
  }
  if (text.front() == '[') {
    return text.back() == ']' ? Kind::kHeader : Kind::kBadHeader;
  }
  return text.find('=') == std::string_view::npos ? Kind::kOther : Kind::kKey;
}

std::string IniDocument::KeyOf(const Line& line) const {
  const std::string_view text = TrimBlanks(line.text);
  return LowerAscii(TrimBlanks(text.substr(0, text.find('='))));
}

std::string IniDocument::HeaderName(const Line& line) const {
  const std::string_view text = TrimBlanks(line.text);
  return IniSectionName(text.substr(1, text.size() - 2));
}

std::vector<std::pair<std::size_t, std::size_t>> IniDocument::Ranges(
    std::string_view name, bool all) const {
  const std::string wanted = IniSectionName(name);
  const bool first_only = !all && once_ && once_(wanted);
  std::vector<std::pair<std::size_t, std::size_t>> ranges;
  bool inside = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Kind kind = KindOf(lines_[i]);
    if (kind != Kind::kHeader && kind != Kind::kBadHeader) continue;
    if (inside) ranges.back().second = i;
    inside = false;
    if (kind == Kind::kHeader && HeaderName(lines_[i]) == wanted &&
        !(first_only && !ranges.empty())) {
      ranges.emplace_back(i, lines_.size());
      inside = true;
    }
  }
  return ranges;
}

std::vector<IniDocument::Section> IniDocument::Sections() const {
  std::vector<Section> sections;
  for (const Line& line : lines_) {
    if (KindOf(line) != Kind::kHeader) continue;
    const std::string name = HeaderName(line);
    bool known = false;
    for (const Section& section : sections) known |= section.name == name;
    if (!known) {
      sections.push_back({name, std::string(TrimBlanks(line.text))});
    }
  }
  return sections;
}

bool IniDocument::HasSection(std::string_view name) const {
  return !Ranges(name, true).empty();
}

std::vector<std::size_t> IniDocument::KeyLines(std::string_view section,
                                               std::string_view key) const {
  std::vector<std::size_t> found;
  for (const auto& [start, end] : Ranges(section)) {
    for (std::size_t i = start + 1; i < end; ++i) {
      if (KindOf(lines_[i]) == Kind::kKey && KeyOf(lines_[i]) == key) {
        found.push_back(i);
      }
    }
  }
  return found;
}

std::vector<std::string> IniDocument::Keys(std::string_view section) const {
  std::vector<std::string> keys;
  for (const auto& [start, end] : Ranges(section)) {
    for (std::size_t i = start + 1; i < end; ++i) {
      if (KindOf(lines_[i]) != Kind::kKey) continue;
      std::string key = KeyOf(lines_[i]);
      bool known = false;
      for (const std::string& other : keys) known |= other == key;
      if (!known) keys.push_back(std::move(key));
    }
  }
  return keys;
}

std::vector<std::string> IniDocument::Values(std::string_view section,
                                             std::string_view key) const {
  std::vector<std::string> values;
  for (const std::size_t i : KeyLines(section, key)) {
    const std::string_view text = lines_[i].text;
    values.push_back(FindIniValue(text.substr(text.find('=') + 1)).text);
  }
  return values;
}

void IniDocument::Insert(std::size_t at, std::string text) {
  Line line{std::move(text), new_line_};
  // A file that ended without a line end still does.
  if (at == lines_.size() && !lines_.empty() && lines_.back().end.empty()) {
    lines_.back().end = new_line_;
    line.end.clear();
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at),
                std::move(line));
}

std::size_t IniDocument::AddedKeyAt(std::string_view section) {
  if (!HasSection(section)) AddSection(section);
  const auto [start, end] = Ranges(section).back();
  std::size_t at = start + 1;
  bool key = false;
  for (std::size_t i = start + 1; i < end; ++i) {
    if (KindOf(lines_[i]) == Kind::kKey) {
      at = i + 1;
      key = true;
    }
  }
  // Without a key, after the comments that follow the header.
  while (!key && at < end && !IsBlank(lines_[at].text)) ++at;
  return at;
}

void IniDocument::SetLineValue(std::size_t index, const std::string& written) {
  std::string& text = lines_[index].text;
  const std::size_t equals = text.find('=');
  const IniValue value =
      FindIniValue(std::string_view(text).substr(equals + 1));
  const std::size_t at = equals + 1 + value.begin;
  text.replace(at, value.size, written);
  // A ";" right after a value is part of it; after a blank, a comment.
  const std::size_t after = at + written.size();
  if (after < text.size() && text[after] == ';') text.insert(after, 1, ' ');
}

namespace {

std::string KeyLine(std::string_view indent, std::string_view key,
                    const std::string& written) {
  return std::string(indent) + std::string(key) + " =" +
         (written.empty() ? "" : " " + written);
}

}  // namespace

bool IniDocument::Set(std::string_view section, std::string_view key,
                      std::string_view value) {
  const std::optional<std::string> written = IniWrittenValue(value);
  if (!written) return false;
  const std::vector<std::size_t> found = KeyLines(section, key);
  if (!found.empty()) {
    SetLineValue(found.back(), *written);
    return true;
  }
  const std::size_t at = AddedKeyAt(section);
  const std::string indent = KindOf(lines_[at - 1]) == Kind::kKey
                                 ? Indentation(lines_[at - 1].text)
                                 : "";
  Insert(at, KeyLine(indent, key, *written));
  return true;
}

bool IniDocument::SetAll(std::string_view section, std::string_view key,
                         const std::vector<std::string>& values) {
  std::vector<std::string> written;
  for (const std::string& value : values) {
    std::optional<std::string> one = IniWrittenValue(value);
    if (!one) return false;
    written.push_back(std::move(*one));
  }
  const std::vector<std::size_t> found = KeyLines(section, key);
  if (found.empty() && written.empty()) return true;
  std::size_t at = 0;
  std::string indent;
  if (found.empty()) {
    at = AddedKeyAt(section);
    if (KindOf(lines_[at - 1]) == Kind::kKey) {
      indent = Indentation(lines_[at - 1].text);
    }
  } else {
    at = found.front();
    indent = Indentation(lines_[at].text);
    Remove(section, key);
  }
  for (std::size_t i = 0; i < written.size(); ++i) {
    Insert(at + i, KeyLine(indent, key, written[i]));
  }
  return true;
}

void IniDocument::Remove(std::string_view section, std::string_view key) {
  const std::vector<std::size_t> found = KeyLines(section, key);
  for (auto i = found.rbegin(); i != found.rend(); ++i) {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*i));
  }
}

void IniDocument::AddSection(std::string_view name) {
  if (HasSection(name)) return;
  if (!lines_.empty() && !IsBlank(lines_.back().text)) {
    Insert(lines_.size(), "");
  }
  Insert(lines_.size(), "[" + std::string(TrimBlanks(name)) + "]");
}

void IniDocument::RemoveSection(std::string_view name) {
  const auto ranges = Ranges(name, true);
  for (auto range = ranges.rbegin(); range != ranges.rend(); ++range) {
    const auto [start, end] = *range;
    std::size_t last = start;
    for (std::size_t i = start + 1; i < end; ++i) {
      if (KindOf(lines_[i]) == Kind::kKey) last = i;
    }
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(start),
                 lines_.begin() + static_cast<std::ptrdiff_t>(last + 1));
    // One blank line stays where the section stood between two.
    const bool blank_before = start == 0 || IsBlank(lines_[start - 1].text);
    if (start < lines_.size() && IsBlank(lines_[start].text) && blank_before) {
      lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(start));
    } else if (start == lines_.size() && start > 0 && blank_before) {
      lines_.pop_back();
    }
  }
}

}  // namespace receiver
