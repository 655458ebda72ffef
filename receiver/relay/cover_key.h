#pragma once

#include <string>
#include <string_view>

// The name a cover is cached under (IsCoverKey tells one).
namespace receiver {

// 16 lower-case hex digits: FNV-1a 64 of "ARTIST\nALBUM", each trimmed and
// in upper case (UpperCaseText), so "ABBA" and "abba " share a cover.
std::string CoverKey(std::string_view artist, std::string_view album);

}  // namespace receiver
