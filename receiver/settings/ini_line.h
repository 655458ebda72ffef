#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "receiver/system/ascii.h"

// The pieces of one line of the settings file, shared by its reader and by
// the pass that encrypts its secrets.
namespace receiver {

// Where the value is in the text after a key's "=": a ";" at its start or
// after a space starts a comment; a value in double quotes is what is
// between them, spaces included. `begin`/`size` cover the value as written
// (its quotes included); `text` is the value.
struct IniValue {
  std::size_t begin = 0;
  std::size_t size = 0;
  std::string text;
};

IniValue FindIniValue(std::string_view raw);

// A whole number from `low` to `high`, in digits only.
std::optional<int> ParseWhole(std::string_view text, int low, int high);

// yes/true/on/1 or no/false/off/0, in any case.
std::optional<bool> ParseYesNo(std::string_view text);

}  // namespace receiver
