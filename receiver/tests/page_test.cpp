#include "receiver/page.h"

#include <gtest/gtest.h>

namespace receiver {
namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(HtmlEscapeTest, FiveCharacters) {
  EXPECT_EQ(
      HtmlEscape("<a href=\"x\">Rock & 'Roll'</a>"),
      "&lt;a href=&quot;x&quot;&gt;Rock &amp; &apos;Roll&apos;&lt;/a&gt;");
}

TEST(PageHtmlTest, EveryValueEscaped) {
  const Song song{"<img src=x onerror=alert(1)>", "\"quoted\" & 'single'",
                  "<script>alert(1)</script>", "2024-05-01T20:15:00Z"};
  const std::string page = PageHtml(&song, false);
  EXPECT_TRUE(Contains(page, ">&lt;script&gt;alert(1)&lt;/script&gt;</div>"));
  EXPECT_TRUE(Contains(page, ">&lt;img src=x onerror=alert(1)&gt;</div>"));
  EXPECT_TRUE(
      Contains(page, ">&quot;quoted&quot; &amp; &apos;single&apos;</div>"));
  EXPECT_TRUE(Contains(page, ">received 2024-05-01T20:15:00Z</div>"));
  EXPECT_FALSE(Contains(page, "<script>alert"));
  EXPECT_FALSE(Contains(page, "<img"));
}

TEST(PageHtmlTest, OverlayAndEmpty) {
  EXPECT_TRUE(Contains(PageHtml(nullptr, true), "<body class=\"overlay\">"));
  EXPECT_FALSE(Contains(PageHtml(nullptr, false), "class=\"overlay\""));
  EXPECT_TRUE(Contains(PageHtml(nullptr, false), ">Nothing yet</div>"));
}

TEST(PageHtmlTest, FollowsEventsAndSetsTextOnly) {
  const std::string page = PageHtml(nullptr, false);
  EXPECT_TRUE(Contains(page, "new EventSource('/events')"));
  EXPECT_TRUE(Contains(page, "fetch('/now_playing.json'"));
  EXPECT_TRUE(Contains(page, ".textContent = "));
  EXPECT_FALSE(Contains(page, "innerHTML"));
}

}  // namespace
}  // namespace receiver
