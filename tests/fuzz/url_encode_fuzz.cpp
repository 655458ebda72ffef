// Encoding any bytes and decoding the result gives the bytes back, and only
// the 69 plain bytes appear unescaped.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "report/url_encode.h"

namespace {

bool IsPlain(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (c >= '0' && c <= '9') || c == '\'' || c == '(' || c == ')' ||
         c == '*' || c == '-' || c == '.' || c == '_';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower case never appears
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string encoded = report::CURLEncode().Encode(input);
  std::string decoded;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(encoded[i]);
    if (c == '%') {
      if (i + 2 >= encoded.size()) abort();
      const int high = HexValue(encoded[i + 1]);
      const int low = HexValue(encoded[i + 2]);
      if (high < 0 || low < 0) abort();
      const unsigned char byte = static_cast<unsigned char>(high * 16 + low);
      if (IsPlain(byte)) abort();  // a plain byte was escaped
      decoded += static_cast<char>(byte);
      i += 2;
    } else {
      if (!IsPlain(c)) abort();
      decoded += static_cast<char>(c);
    }
  }
  if (decoded != input) abort();
  return 0;
}
