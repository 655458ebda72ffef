#pragma once

#include <string>
#include <string_view>

// ASCII letters and blanks, for names, keys and header words: other bytes
// (UTF-8 included) pass as they are.
namespace receiver {

char LowerAscii(char c);
std::string LowerAscii(std::string_view text);
std::string UpperAscii(std::string_view text);
// Equal when A-Z and a-z are taken as the same.
bool SameAscii(std::string_view a, std::string_view b);
bool StartsWithAscii(std::string_view text, std::string_view prefix);

// Without spaces and tabs at either end.
std::string_view TrimBlanks(std::string_view text);
// Without spaces, tabs, CR and LF at either end.
std::string_view TrimSpace(std::string_view text);

}  // namespace receiver
