#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace receiver {

constexpr std::size_t kMaxValueCharacters = 500;

// One reported value as the PHP receiver keeps it: valid UTF-8 (broken
// sequences become U+FFFD), control characters (U+0000 to U+001F, U+007F to
// U+009F) dropped, at most 500 characters, spaces trimmed at both ends.
std::string CleanText(std::string_view utf8);

}  // namespace receiver
