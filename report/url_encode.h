#pragma once

#include <string>

namespace report {

// Bytes that are always escaped, on top of the range test in NeedsEscape.
extern const std::string EscapeSet;
// Digits for the values 0 to 15.
extern const char DigitTable[17];

// Makes narrow text safe to stand as a value in a query: every byte but the
// 69 plain ones becomes '%' and two upper-case hexadecimal digits.
class CURLEncode {
 public:
  CURLEncode() = default;
  CURLEncode(const CURLEncode&) = default;
  CURLEncode& operator=(const CURLEncode&) = default;
  virtual ~CURLEncode();

  std::string Encode(std::string text) const;
  bool NeedsEscape(char byte) const;
  std::string PercentEscape(char byte) const;
  std::string ToDigits(char byte, int base) const;
};

}  // namespace report
