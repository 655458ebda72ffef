#include "report/url_encode.h"

#include <algorithm>
#include <array>

namespace report {

const std::string EscapeSet = "\"<>%\\^[]`+$,@:;/!#?=&";
const char DigitTable[17] = "0123456789ABCDEF";

namespace {

// NeedsEscape for every byte value, built once from EscapeSet so that Encode
// does not scan the set for every byte. Defined after EscapeSet in this file,
// so static initialisation fills it afterwards.
const std::array<bool, 256> kEscapeTable = [] {
  std::array<bool, 256> table{};
  const CURLEncode encoder;
  for (int value = 0; value < 256; ++value) {
    table[value] = encoder.NeedsEscape(static_cast<char>(value));
  }
  return table;
}();

}  // namespace

CURLEncode::~CURLEncode() = default;

std::string CURLEncode::Encode(std::string text) const {
  std::size_t escaped = 0;
  for (const char byte : text) {
    escaped += kEscapeTable[static_cast<unsigned char>(byte)] ? 1 : 0;
  }
  std::string result(text.size() + 2 * escaped, '\0');
  char* out = &result[0];
  for (const char byte : text) {
    const unsigned char value = static_cast<unsigned char>(byte);
    if (kEscapeTable[value]) {
      *out++ = '%';
      *out++ = DigitTable[value >> 4];
      *out++ = DigitTable[value & 0x0F];
    } else {
      *out++ = byte;
    }
  }
  return result;
}

bool CURLEncode::NeedsEscape(char byte) const {
  if (EscapeSet.find(byte) != std::string::npos) return true;
  // Only '!' (33) to 'z' (122) may stay plain; bytes above 127 are negative
  // as signed bytes and wrap to large unsigned differences.
  const int difference = static_cast<signed char>(byte) - 33;
  return static_cast<unsigned int>(difference) > 89u;
}

std::string CURLEncode::PercentEscape(char byte) const {
  std::string escape = "%";
  escape += ToDigits(byte, 16);
  return escape;
}

std::string CURLEncode::ToDigits(char byte, int base) const {
  if (base < 2 || base > 16) return std::string();
  unsigned int value = static_cast<unsigned char>(byte);
  const unsigned int radix = static_cast<unsigned int>(base);
  std::string digits;
  while (value >= radix) {
    digits += DigitTable[value % radix];
    value /= radix;
  }
  digits += DigitTable[value];
  if (digits.size() < 2) digits += '0';
  std::reverse(digits.begin(), digits.end());
  return digits;
}

}  // namespace report
