#include "report/request.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using report::ComposeRequest;
using report::FillRequestPath;
using report::ParsePort;
using report::StripArtistPrefix;
using report::WantsUtf8;

constexpr char kDefaultPath[] =
    "/set_current_song.php?artist=%s&album=%s&title=%s";

TEST(ArtistPrefix, OnlyALeadingPrefixIsRemoved) {
  EXPECT_EQ(StripArtistPrefix("Foo Bar - Qux & Co", "Foo Bar"), "Qux & Co");
  EXPECT_EQ(StripArtistPrefix("Qux", "Foo"), "Qux");
  EXPECT_EQ(StripArtistPrefix("Foo - Foo - Qux", "Foo"), "Foo - Qux");
  EXPECT_EQ(StripArtistPrefix("Bar Foo - Qux", "Foo"), "Bar Foo - Qux");
  EXPECT_EQ(StripArtistPrefix(" - Qux", ""), "Qux");
  EXPECT_EQ(StripArtistPrefix("Qux", ""), "Qux");
  EXPECT_EQ(StripArtistPrefix("Foo - ", "Foo"), "");
  EXPECT_EQ(StripArtistPrefix("Foo -", "Foo"), "Foo -");
}

TEST(RequestPath, ValuesFillTheFirstThreeSlotsInOrder) {
  EXPECT_EQ(FillRequestPath(kDefaultPath, "A", "B", "T"),
            "/set_current_song.php?artist=A&album=B&title=T");
  EXPECT_EQ(FillRequestPath("/x?t=%s", "A", "B", "T"), "/x?t=A");
  EXPECT_EQ(FillRequestPath("/plain", "A", "B", "T"), "/plain");
  EXPECT_EQ(FillRequestPath(kDefaultPath, "", "", "T"),
            "/set_current_song.php?artist=&album=&title=T");
}

TEST(RequestPath, OtherPercentSequencesStayLiteral) {
  EXPECT_EQ(FillRequestPath("%s%s%s%s%d", "A", "B", "T"), "ABT%s%d");
  EXPECT_EQ(FillRequestPath("/a%%b", "A", "B", "T"), "/a%b");
  EXPECT_EQ(FillRequestPath("/%%s", "A", "B", "T"), "/%s");
  EXPECT_EQ(FillRequestPath("%n%x%", "A", "B", "T"), "%n%x%");
  EXPECT_EQ(FillRequestPath("%S%5s", "A", "B", "T"), "%S%5s");
}

TEST(RequestPath, ValuesAreNotScannedForSlots) {
  EXPECT_EQ(FillRequestPath("%s/%s", "%s", "%%", "T"), "%s/%%");
}

TEST(Request, DefaultPathWithAFullTrackByteForByte) {
  EXPECT_EQ(ComposeRequest(kDefaultPath, "localhost", "Foo%20Bar", "Baz",
                           "Qux%20%26%20Co"),
            "GET /set_current_song.php?artist=Foo%20Bar&album=Baz&title="
            "Qux%20%26%20Co HTTP/1.1\r\nHost: localhost\r\n"
            "User-Agent: Winamp Tunebeacon\r\n\r\n");
}

TEST(Request, HostGoesIntoTheHeaderAsConfigured) {
  EXPECT_EQ(ComposeRequest("/p", "a%sb%%", "A", "B", "T"),
            "GET /p HTTP/1.1\r\nHost: a%sb%%\r\n"
            "User-Agent: Winamp Tunebeacon\r\n\r\n");
}

TEST(Request, LongValuesAreNotCut) {
  const std::string title(100000, 'x');
  const std::string request = ComposeRequest(kDefaultPath, "h", "", "", title);
  EXPECT_NE(request.find(title + " HTTP/1.1\r\n"), std::string::npos);
}

TEST(Charset, OnlyAQueryParameterCharsetUtf8InAnyCaseAsksForUtf8) {
  EXPECT_FALSE(WantsUtf8(kDefaultPath));
  EXPECT_TRUE(WantsUtf8("/set_current_song.php?charset=utf-8&artist=%s"));
  EXPECT_TRUE(WantsUtf8("/p?artist=%s&album=%s&title=%s&CharSet=UTF-8"));
  EXPECT_TRUE(WantsUtf8("/p?&&charset=Utf-8&"));
  EXPECT_FALSE(WantsUtf8("/charset=utf-8"));
  EXPECT_FALSE(WantsUtf8("/charset=utf-8/p?title=%s"));
  EXPECT_FALSE(WantsUtf8("/p?xcharset=utf-8&charsets=utf-8"));
  EXPECT_FALSE(WantsUtf8("/p?charset=utf-88&title=utf-8"));
  EXPECT_FALSE(WantsUtf8("/p?charset=utf8"));
  EXPECT_FALSE(WantsUtf8("/p?charset"));
  // The first charset decides, as a receiver reads the first value.
  EXPECT_FALSE(WantsUtf8("/p?charset=windows-1252&charset=utf-8"));
  EXPECT_TRUE(WantsUtf8("/p?charset=utf-8&charset=windows-1252"));
}

TEST(Port, DecimalWithLeadingBlanksAndSign) {
  EXPECT_EQ(ParsePort("80"), 80);
  EXPECT_EQ(ParsePort("80x"), 80);
  EXPECT_EQ(ParsePort(""), 0);
  EXPECT_EQ(ParsePort("x80"), 0);
  EXPECT_EQ(ParsePort(" \t\n\v\f\r8080"), 8080);
  EXPECT_EQ(ParsePort("+81"), 81);
  EXPECT_EQ(ParsePort("-1"), -1);
  EXPECT_EQ(ParsePort("- 1"), 0);
  EXPECT_EQ(ParsePort("65616"), 65616);
}

TEST(Port, ClampedToTheSigned32BitRange) {
  EXPECT_EQ(ParsePort("2147483647"), INT_MAX);
  EXPECT_EQ(ParsePort("2147483648"), INT_MAX);
  EXPECT_EQ(ParsePort("99999999999999999999999"), INT_MAX);
  EXPECT_EQ(ParsePort("-2147483648"), INT_MIN);
  EXPECT_EQ(ParsePort("-2147483649"), INT_MIN);
  EXPECT_EQ(ParsePort("-99999999999999999999999"), INT_MIN);
}

}  // namespace
