#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The settings file's text edited in place, as the control page's forms
// save it: a key's value set, a key added or taken out, a section added or
// removed, and every other byte kept (comments, blank lines, lines the
// reader does not take, the order, each line's end, a BOM).
namespace receiver {

// A section's name as the reader matches it: the text between the brackets
// in lower case, its blanks trimmed, one space after the first word:
// "[File  Title.txt]" is "file title.txt".
std::string IniSectionName(std::string_view inside);

// How `value` is written after "key = " so that the reader takes it back
// as it is: as it is, or in double quotes when it starts or ends with a
// blank, starts with ";" or holds a ";" after a blank; nullopt when no
// writing reads back as it (a line break, or a quote besides what needs
// the quotes).
std::optional<std::string> IniWrittenValue(std::string_view value);

class IniDocument {
 public:
  // `text`: UTF-8, with or without a BOM. `once`: whether only the first
  // section of that name counts (the reader skips the others); by default
  // every section of a name does, the later keys winning.
  explicit IniDocument(std::string_view text,
                       std::function<bool(std::string_view)> once = {});

  std::string Text() const;

  struct Section {
    std::string name;     // IniSectionName
    std::string written;  // "[File Title.txt]"
  };
  // Each name once, in the order the names first come.
  std::vector<Section> Sections() const;
  bool HasSection(std::string_view name) const;

  // The keys the section has (lower case), each once, in the file's order.
  std::vector<std::string> Keys(std::string_view section) const;
  // The values of `key` (lower case) in the section, in the file's order.
  std::vector<std::string> Values(std::string_view section,
                                  std::string_view key) const;

  // Sets the key's last line to `value`, keeping the line's indentation and
  // comment; without one, adds "key = value" after the section's last key,
  // or after the section's first lines when it has none, adding the
  // section at the end when there is none. False, with nothing changed,
  // when the value cannot be written (IniWrittenValue).
  bool Set(std::string_view section, std::string_view key,
           std::string_view value);
  // Every line of the key replaced by one line per value, where the first
  // was. False, with nothing changed, when one cannot be written.
  bool SetAll(std::string_view section, std::string_view key,
              const std::vector<std::string>& values);
  // Every line of the key goes.
  void Remove(std::string_view section, std::string_view key);

  // "[NAME]" at the end, after a blank line; nothing when there is one.
  void AddSection(std::string_view name);
  // Each section of the name goes, from its header to its last key; a
  // comment after that stays, as it may speak of what follows.
  void RemoveSection(std::string_view name);

 private:
  struct Line {
    std::string text;  // without its end
    std::string end;   // "\r\n", "\n", or "" for a last line without one
  };
  enum class Kind { kOther, kHeader, kBadHeader, kKey };
  Kind KindOf(const Line& line) const;
  std::string KeyOf(const Line& line) const;
  std::string HeaderName(const Line& line) const;
  // Where each counted section of `name` starts (its header) and ends
  // (before the next header).
  std::vector<std::pair<std::size_t, std::size_t>> Ranges(
      std::string_view name, bool all = false) const;
  std::vector<std::size_t> KeyLines(std::string_view section,
                                    std::string_view key) const;
  std::size_t AddedKeyAt(std::string_view section);
  void Insert(std::size_t at, std::string text);
  void SetLineValue(std::size_t index, const std::string& written);

  std::string bom_;
  std::string new_line_ = "\r\n";
  std::vector<Line> lines_;
  std::function<bool(std::string_view)> once_;
};

}  // namespace receiver
