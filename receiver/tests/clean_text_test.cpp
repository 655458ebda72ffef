#include "receiver/songs/clean_text.h"

#include <gtest/gtest.h>

#include <string>

namespace receiver {
namespace {

TEST(CleanTextTest, DropsControlCharacters) {
  EXPECT_EQ(CleanText(std::string("a\0b\r\nc\x1B\td\x7F", 11)), "abcd");
  EXPECT_EQ(CleanText("x\xC2\x85y\xC2\x9F\xC2\xA0z"), "xy\xC2\xA0z");
}

TEST(CleanTextTest, KeepsAtMost500CharactersNotBytes) {
  std::string text;
  for (int i = 0; i < 600; ++i) text += "\xC3\xA9";
  const std::string clean = CleanText(text);
  EXPECT_EQ(clean.size(), 1000u);
  EXPECT_EQ(clean, text.substr(0, 1000));
}

// As the PHP receiver does: control characters go first, then the cut, so
// that they take no room among the 500.
TEST(CleanTextTest, DropsControlCharactersBeforeCutting) {
  const std::string text =
      std::string(10, '\x01') + std::string(495, 'a') + "bcdefghij";
  EXPECT_EQ(CleanText(text), std::string(495, 'a') + "bcdef");
  EXPECT_EQ(CleanText(std::string(499, 'a') + "\x7F\xC2\x80z!"),
            std::string(499, 'a') + "z");
}

TEST(CleanTextTest, TrimsSpacesAfterCutting) {
  EXPECT_EQ(CleanText("  Song  "), "Song");
  EXPECT_EQ(CleanText(std::string(499, 'x') + "  tail"), std::string(499, 'x'));
  EXPECT_EQ(CleanText(" \x01 "), "");
}

TEST(CleanTextTest, BrokenUtf8BecomesReplacementCharacters) {
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_EQ(CleanText("\xC3("), replacement + "(");
  EXPECT_EQ(CleanText("\xC0\xAF"), replacement + replacement);
  EXPECT_EQ(CleanText("\xED\xA0\x80"), replacement + replacement + replacement);
  EXPECT_EQ(CleanText("\xF0\x9F\x8E\xB5 ok"), "\xF0\x9F\x8E\xB5 ok");
  EXPECT_EQ(CleanText("end\xE2\x82"), "end" + replacement + replacement);
}

}  // namespace
}  // namespace receiver
