#pragma once

#include <string>
#include <string_view>

namespace receiver {

// The simple upper-case form of a character in Latin-1, Latin Extended-A,
// Greek and Cyrillic; any other character, and one without a one-character
// upper form (ß), as it is.
char32_t UpperCase(char32_t c);

// Valid UTF-8 in upper case, as UpperCase does it per character.
std::string UpperCaseText(std::string_view utf8);

}  // namespace receiver
