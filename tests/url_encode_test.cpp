#include "report/url_encode.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using report::CURLEncode;

std::string Byte(int value) { return std::string(1, static_cast<char>(value)); }

// The 69 bytes that stay plain, written out independently of the encoder.
bool IsPlain(int value) {
  return (value >= 'A' && value <= 'Z') || (value >= 'a' && value <= 'z') ||
         (value >= '0' && value <= '9') ||
         std::string("'()*-._").find(static_cast<char>(value)) !=
             std::string::npos;
}

TEST(UrlEncode, EverydayNames) {
  const CURLEncode encoder;
  const struct {
    std::string input, output;
  } examples[] = {
      {"a b", "a%20b"},
      {"AC/DC", "AC%2FDC"},
      {"50% off", "50%25%20off"},
      {"a+b=c", "a%2Bb%3Dc"},
      {"Qux & Co", "Qux%20%26%20Co"},
      {"x{y}~z", "x%7By%7D%7Ez"},
      {"(What's the Story)", "(What's%20the%20Story)"},
      {"Hello_World-1.0", "Hello_World-1.0"},
      {"Caf\xE9", "Caf%E9"},
      {"\xC3\xA9", "%C3%A9"},
      {"\t", "%09"},
      {"\x7F", "%7F"},
      {"", ""},
  };
  for (const auto& example : examples) {
    EXPECT_EQ(encoder.Encode(example.input), example.output) << example.input;
  }
}

TEST(UrlEncode, EveryByteValueFollowsTheRule) {
  const CURLEncode encoder;
  int plain = 0;
  for (int value = 0; value < 256; ++value) {
    const char byte = static_cast<char>(value);
    char expected_escape[4];
    snprintf(expected_escape, sizeof(expected_escape), "%%%02X", value);
    const std::string expected = IsPlain(value) ? Byte(value) : expected_escape;
    EXPECT_EQ(encoder.Encode(Byte(value)), expected) << value;
    EXPECT_EQ(encoder.NeedsEscape(byte), !IsPlain(value)) << value;
    EXPECT_EQ(encoder.PercentEscape(byte), expected_escape) << value;
    EXPECT_EQ(encoder.ToDigits(byte, 16), std::string(expected_escape + 1))
        << value;
    plain += IsPlain(value) ? 1 : 0;
  }
  EXPECT_EQ(plain, 69);
}

TEST(UrlEncode, ZeroBytesInsideTheTextAreEncodedToo) {
  const CURLEncode encoder;
  EXPECT_EQ(encoder.Encode(std::string("a\0b", 3)), "a%00b");
}

TEST(UrlEncode, LengthGrowsByTwoPerEscapedByte) {
  const CURLEncode encoder;
  std::string all;
  for (int value = 0; value < 256; ++value) all += static_cast<char>(value);
  EXPECT_EQ(encoder.Encode(all).size(), 256u + 2u * 187u);
}

TEST(UrlEncode, EscapeSetAndDigitTable) {
  EXPECT_EQ(report::EscapeSet, "\"<>%\\^[]`+$,@:;/!#?=&");
  EXPECT_EQ(report::EscapeSet.size(), 21u);
  EXPECT_STREQ(report::DigitTable, "0123456789ABCDEF");
}

TEST(UrlEncode, ToDigitsInOtherBases) {
  const CURLEncode encoder;
  EXPECT_EQ(encoder.ToDigits(static_cast<char>(255), 2), "11111111");
  EXPECT_EQ(encoder.ToDigits(1, 2), "01");
  EXPECT_EQ(encoder.ToDigits(static_cast<char>(200), 10), "200");
  EXPECT_EQ(encoder.ToDigits(7, 10), "07");
  EXPECT_EQ(encoder.ToDigits(7, 1), "");
  EXPECT_EQ(encoder.ToDigits(7, 17), "");
}

TEST(UrlEncode, TheCallersStringIsNotChanged) {
  const CURLEncode encoder;
  std::string text = "a b";
  encoder.Encode(text);
  EXPECT_EQ(text, "a b");
}

}  // namespace
