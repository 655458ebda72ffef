#include "receiver/web/query.h"

#include <gtest/gtest.h>

#include "receiver/web/route.h"

namespace receiver {
namespace {

TEST(SplitTargetTest, PathAndQueryAtTheFirstQuestionMark) {
  const Target target = SplitTarget("/set_current_song.php?title=a?b");
  EXPECT_EQ(target.path, "/set_current_song.php");
  EXPECT_EQ(target.query, "title=a?b");
  EXPECT_EQ(SplitTarget("/").path, "/");
  EXPECT_EQ(SplitTarget("/").query, "");
}

TEST(PercentDecodeTest, EscapesBecomeBytesPlusASpaceAndEverythingElseStays) {
  EXPECT_EQ(PercentDecode("Caf%E9%20%26%20Co"), "Caf\xE9 & Co");
  EXPECT_EQ(PercentDecode("Party+Time+%2B+1"), "Party Time + 1");
  EXPECT_EQ(PercentDecode("%c3%a9"), "\xC3\xA9");
  EXPECT_EQ(PercentDecode("%ZZ%4%"), "%ZZ%4%");
  EXPECT_EQ(PercentDecode("%%41"), "%A");
  EXPECT_EQ(PercentDecode("%00x"), std::string("\0x", 2));
}

TEST(PercentDecodeTest, EveryHexDigitInEitherCase) {
  EXPECT_EQ(PercentDecode("%0a%1b%2c%3d%4e%5f%6A%7B%8C%9D%aE%Bf%fF%Ff%af%FA"),
            "\x0A\x1B\x2C\x3D\x4E\x5F\x6A\x7B\x8C\x9D\xAE\xBF\xFF\xFF\xAF"
            "\xFA");
  EXPECT_EQ(PercentDecode("%g0%0g%G0%@0%`0"), "%g0%0g%G0%@0%`0");
}

TEST(ParseReportQueryTest, TheQueryThePlugInSends) {
  const auto report = ParseReportQuery(
      "artist=Les%20%C9toiles&album=%C0%20la%20carte&title=Caf%E9");
  ASSERT_TRUE(report);
  EXPECT_EQ(report->artist, "Les \xC9toiles");
  EXPECT_EQ(report->album, "\xC0 la carte");
  EXPECT_EQ(report->title, "Caf\xE9");
}

TEST(ParseReportQueryTest, FirstValueWinsAndMissingOnesAreEmpty) {
  const auto report = ParseReportQuery("title=one&title=two&x=1&%61lbum=a=b");
  ASSERT_TRUE(report);
  EXPECT_EQ(report->title, "one");
  EXPECT_EQ(report->album, "a=b");
  EXPECT_EQ(report->artist, "");
  const auto bare = ParseReportQuery("artist&title=");
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->artist, "");
}

TEST(ParseReportQueryTest, NoneOfTheNamesIsNoReport) {
  EXPECT_FALSE(ParseReportQuery(""));
  EXPECT_FALSE(ParseReportQuery("artist[]=x&title[a]=y&album%5B%5D=z"));
  EXPECT_FALSE(ParseReportQuery("Title=x&artists=y"));
}

TEST(SaysUtf8Test, CharsetUtf8InAnyCaseTheFirstCharsetDeciding) {
  EXPECT_FALSE(SaysUtf8("artist=A&album=B&title=C"));
  EXPECT_TRUE(SaysUtf8("charset=utf-8&artist=A"));
  EXPECT_TRUE(SaysUtf8("title=C&CharSet=UTF-8"));
  EXPECT_TRUE(SaysUtf8("charset=utf%2D8"));
  EXPECT_FALSE(SaysUtf8("charset=utf8&xcharset=utf-8&charsets=utf-8"));
  EXPECT_FALSE(SaysUtf8("charset=windows-1252&charset=utf-8"));
  EXPECT_FALSE(SaysUtf8("charset&title=utf-8"));
}

TEST(HasQueryNameTest, WithOrWithoutValue) {
  EXPECT_TRUE(HasQueryName("overlay=1", "overlay"));
  EXPECT_TRUE(HasQueryName("x=1&overlay", "overlay"));
  EXPECT_FALSE(HasQueryName("overlays=1&x=overlay", "overlay"));
}

TEST(RouteTest, KnownPathsOnly) {
  EXPECT_EQ(RouteFor("/set_current_song.php"), Route::kReport);
  EXPECT_EQ(RouteFor("/"), Route::kPage);
  EXPECT_EQ(RouteFor("/now_playing.json"), Route::kSongJson);
  EXPECT_EQ(RouteFor("/events"), Route::kEvents);
  EXPECT_EQ(RouteFor("/now_playing.txt"), Route::kNotFound);
  EXPECT_EQ(RouteFor("/Events"), Route::kNotFound);
  EXPECT_EQ(RouteFor(""), Route::kNotFound);
  EXPECT_TRUE(IsAllowedMethod("HEAD"));
  EXPECT_FALSE(IsAllowedMethod("POST"));
  EXPECT_FALSE(IsAllowedMethod("get"));
}

}  // namespace
}  // namespace receiver
