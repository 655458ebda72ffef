#pragma once

#include <string>
#include <string_view>

// UTF-8 in both directions, lenient on input: every byte that does not start
// a well-formed sequence becomes U+FFFD, so any bytes give valid text.
namespace receiver {

std::u32string DecodeUtf8(std::string_view bytes);

void AppendUtf8(std::string& out, char32_t code_point);

// Whether the bytes are well-formed UTF-8 already.
bool IsValidUtf8(std::string_view bytes);

// UTF-16 bytes (without their BOM) as UTF-8; a lone surrogate, and an odd
// last byte, become U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool big_endian);

}  // namespace receiver
