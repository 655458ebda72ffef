#include "receiver/web/request_head.h"

#include <gtest/gtest.h>

#include <string>

namespace receiver {
namespace {

constexpr std::size_t kLimit = 16 * 1024;

std::string Head(const HeadScan& scan, std::string_view received) {
  return std::string(received.substr(scan.begin, scan.end - scan.begin));
}

TEST(ScanHeadTest, EitherLineEndAndWhatFollowsStays) {
  const std::string crlf = "GET / HTTP/1.1\r\nHost: x\r\n\r\nnext";
  HeadScan scan = ScanHead(crlf, kLimit);
  ASSERT_EQ(scan.state, HeadState::kComplete);
  EXPECT_EQ(Head(scan, crlf), "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
  const std::string lf = "GET / HTTP/1.1\nHost: x\n\nnext";
  scan = ScanHead(lf, kLimit);
  ASSERT_EQ(scan.state, HeadState::kComplete);
  EXPECT_EQ(Head(scan, lf), "GET / HTTP/1.1\nHost: x\n\n");
  const std::string mixed = "GET / HTTP/1.1\r\nHost: x\n\r\n";
  scan = ScanHead(mixed, kLimit);
  ASSERT_EQ(scan.state, HeadState::kComplete);
  EXPECT_EQ(scan.end, mixed.size());
}

TEST(ScanHeadTest, OneEmptyLineBeforeTheRequestLineIsSkipped) {
  for (const std::string& text : {std::string("\r\nGET / HTTP/1.1\r\n\r\n"),
                                  std::string("\nGET / HTTP/1.1\n\n")}) {
    const HeadScan scan = ScanHead(text, kLimit);
    ASSERT_EQ(scan.state, HeadState::kComplete) << text;
    EXPECT_EQ(Head(scan, text).substr(0, 4), "GET ");
  }
  // A second one is part of the head, which the parser then refuses.
  const std::string two = "\r\n\r\nGET / HTTP/1.1\r\n\r\n";
  const HeadScan scan = ScanHead(two, kLimit);
  ASSERT_EQ(scan.state, HeadState::kComplete);
  EXPECT_EQ(Head(scan, two).substr(0, 2), "\r\n");
}

TEST(ScanHeadTest, IncompleteUntilTheEmptyLine) {
  for (const char* part :
       {"", "\r", "\r\n", "GET / HTTP/1.1", "GET /\r\n",
        "GET / HTTP/1.1\nHost: x\n", "GET /\r\nA: b\r\n\r"}) {
    EXPECT_EQ(ScanHead(part, kLimit).state, HeadState::kIncomplete) << part;
  }
}

TEST(ScanHeadTest, PiecesGiveTheSameAsTheWhole) {
  const std::string text = "\nGET /x HTTP/1.1\nHost: x\r\nA: b\n\nbody";
  HeadScan scan;
  std::size_t size = 0;
  while (scan.state == HeadState::kIncomplete && size < text.size()) {
    scan = ScanHead(std::string_view(text).substr(0, ++size), kLimit, scan);
  }
  const HeadScan whole = ScanHead(text, kLimit);
  ASSERT_EQ(scan.state, HeadState::kComplete);
  EXPECT_EQ(scan.begin, whole.begin);
  EXPECT_EQ(scan.end, whole.end);
  EXPECT_EQ(Head(scan, text), "GET /x HTTP/1.1\nHost: x\r\nA: b\n\n");
}

TEST(ScanHeadTest, LimitsAreTheSameForBothLineEnds) {
  const std::string long_target(kLimit, 'a');
  const std::string field = "Cookie: " + std::string(kLimit, 'c');
  for (const std::string end : {"\r\n", "\n"}) {
    EXPECT_EQ(ScanHead("GET /" + long_target, kLimit).state,
              HeadState::kLineTooLong);
    EXPECT_EQ(
        ScanHead("GET /" + long_target + " HTTP/1.1" + end + end, kLimit).state,
        HeadState::kLineTooLong);
    EXPECT_EQ(ScanHead("GET / HTTP/1.1" + end + field, kLimit).state,
              HeadState::kTooLarge);
    EXPECT_EQ(
        ScanHead("GET / HTTP/1.1" + end + field + end + end, kLimit).state,
        HeadState::kTooLarge);
  }
  // Exactly at the limit is still a head; the skipped empty line is free.
  const std::string fits =
      "\r\nGET /" + std::string(kLimit - 11, 'a') + " H\r\n\r\n";
  EXPECT_EQ(ScanHead(fits, kLimit).state, HeadState::kComplete);
  EXPECT_EQ(ScanHead(fits, kLimit - 1).state, HeadState::kTooLarge);
}

TEST(ScanHeadTest, ARequestLineOfExactlyTheLimitIsJudgedByTheHead) {
  // `size` bytes of request line, its line end included.
  const auto request_line = [](std::size_t size, const std::string& end) {
    return "GET /" + std::string(size - 14 - end.size(), 'a') + " HTTP/1.1" +
           end;
  };
  for (const std::string end : {"\r\n", "\n"}) {
    for (const std::string& before : {std::string(), end}) {
      const std::string fields = "Host: x" + end + end;
      const std::string at_limit = before + request_line(kLimit, end);
      ASSERT_EQ(at_limit.size() - before.size(), kLimit);
      EXPECT_EQ(ScanHead(at_limit + fields, kLimit).state, HeadState::kTooLarge)
          << end.size() << before.size();
      EXPECT_EQ(
          ScanHead(before + request_line(kLimit + 1, end) + fields, kLimit)
              .state,
          HeadState::kLineTooLong)
          << end.size() << before.size();
    }
  }
}

TEST(WithCrLfTest, BareLineFeedsOnly) {
  EXPECT_EQ(WithCrLf("GET / HTTP/1.1\nHost: x\r\n\n"),
            "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(WithCrLf("\n\r\n"), "\r\n\r\n");
  EXPECT_EQ(WithCrLf("a\rb"), "a\rb");
}

TEST(ToOriginFormTest, AbsoluteFormTargets) {
  OriginTarget origin = ToOriginForm(
      "http://127.0.0.1:8080/set_current_song.php?artist=a&title=b");
  EXPECT_TRUE(origin.absolute);
  EXPECT_EQ(origin.authority, "127.0.0.1:8080");
  EXPECT_EQ(origin.target, "/set_current_song.php?artist=a&title=b");
  origin = ToOriginForm("HTTPS://Evil.Example");
  EXPECT_EQ(origin.authority, "Evil.Example");
  EXPECT_EQ(origin.target, "/");
  origin = ToOriginForm("http://localhost?overlay=1");
  EXPECT_EQ(origin.target, "/?overlay=1");
  EXPECT_EQ(ToOriginForm("http://127.0.0.1@evil.example/").authority,
            "evil.example");
  for (const char* other : {"/", "*", "/http://x/", "ftp://x/"}) {
    origin = ToOriginForm(other);
    EXPECT_FALSE(origin.absolute) << other;
    EXPECT_EQ(origin.target, other);
    EXPECT_EQ(origin.authority, "");
  }
}

}  // namespace
}  // namespace receiver
