#pragma once

#include <string>
#include <string_view>

// The name a cover is cached under, and what kind of picture some bytes are.
namespace receiver {

// 16 lower-case hex digits: FNV-1a 64 of "ARTIST\nALBUM", each trimmed and
// in upper case (UpperCaseText), so "ABBA" and "abba " share a cover.
std::string CoverKey(std::string_view artist, std::string_view album);

// Whether `text` is such a key (and so safe in a file name or a URL).
bool IsCoverKey(std::string_view text);

// "image/jpeg", "image/png", "image/gif" or "image/webp" by the bytes'
// signature; "" when they are none of these.
std::string_view ImageType(std::string_view bytes);

}  // namespace receiver
