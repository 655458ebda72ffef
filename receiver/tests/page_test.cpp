#include "receiver/text/page.h"

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
  EXPECT_FALSE(Contains(page, "<img src"));
}

TEST(PageHtmlTest, OverlayAndEmpty) {
  EXPECT_TRUE(Contains(PageHtml(nullptr, true), "<body class=\"overlay\">"));
  EXPECT_FALSE(Contains(PageHtml(nullptr, false), "class=\"overlay\""));
  EXPECT_TRUE(Contains(PageHtml(nullptr, false), ">Nothing yet</div>"));
}

TEST(PageHtmlTest, StableClassNamesAndATimeStampOnlyOutsideTheOverlay) {
  const Song song{"Artist", "Album", "Title", "2024-05-01T20:15:00Z"};
  for (const bool overlay : {false, true}) {
    const std::string page = PageHtml(&song, overlay);
    EXPECT_TRUE(
        Contains(page, "<div class=\"now-playing\" id=\"now-playing\">"));
    EXPECT_TRUE(Contains(page, "<div class=\"title\" id=\"title\">Title<"));
    EXPECT_TRUE(Contains(page, "<div class=\"artist\" id=\"artist\">Artist<"));
    EXPECT_TRUE(Contains(page, "<div class=\"album\" id=\"album\">Album<"));
    EXPECT_EQ(Contains(page, "2024-05-01T20:15:00Z"), !overlay);
    EXPECT_EQ(Contains(page, "id=\"received\""), !overlay);
  }
  const Song odd{"", "", "", "\"><b>x"};
  EXPECT_TRUE(Contains(PageHtml(&odd, false),
                       "data-utc=\"&quot;&gt;&lt;b&gt;x\">received "
                       "&quot;&gt;&lt;b&gt;x</div>"));
}

TEST(PageHtmlTest, TheCoverIsAskedForAndHiddenUntilItLoads) {
  Song song{"A", "B", "T", "2024-05-01T20:15:00Z"};
  for (const bool overlay : {false, true}) {
    EXPECT_TRUE(Contains(PageHtml(&song, overlay),
                         "<img class=\"cover\" id=\"cover\" alt=\"\" hidden>"));
    EXPECT_TRUE(Contains(PageHtml(nullptr, overlay),
                         "<img class=\"cover\" id=\"cover\" alt=\"\" hidden>"));
  }
  song.cover = "0123456789abcdef";
  EXPECT_TRUE(Contains(PageHtml(&song, true),
                       "<img class=\"cover\" id=\"cover\" alt=\"\" "
                       "src=\"/cover.jpg?0123456789abcdef\" hidden>"));
}

TEST(PageHtmlTest, FollowsEventsAndSetsTextOnly) {
  const std::string page = PageHtml(nullptr, false);
  EXPECT_TRUE(Contains(page, "new EventSource('/events')"));
  EXPECT_TRUE(Contains(page, "fetch('/now_playing.json'"));
  EXPECT_TRUE(Contains(page, ".textContent = "));
  EXPECT_FALSE(Contains(page, "innerHTML"));
}

TEST(HideSecondsTest, DigitsOnlyFromOneSecondToAnHour) {
  EXPECT_EQ(HideSeconds("overlay=1&hide=5"), 5);
  EXPECT_EQ(HideSeconds("hide=3600"), kMaxHideSeconds);
  EXPECT_EQ(HideSeconds("hide=0012"), 12);
  EXPECT_EQ(HideSeconds("hide=%31%30"), 10);
  EXPECT_EQ(HideSeconds("hide=4&hide=9"), 4);
  for (const char* query :
       {"", "overlay=1", "hide", "hide=", "hide=0", "hide=3601",
        "hide=99999999999999999999999", "hide=-5", "hide=+5", "hide=5s",
        "hide=%205", "hide=5.0", "hide=1e3", "hide=%00", "hide=0x10", "xhide=5",
        "hide=abc&hide=5"}) {
    EXPECT_EQ(HideSeconds(query), std::nullopt) << query;
  }
}

TEST(PageForQueryTest, HideReachesTheScriptAsANumberInTheOverlayOnly) {
  EXPECT_TRUE(Contains(PageForQuery(nullptr, "overlay=1&hide=7"),
                       "const hideSeconds = 7;"));
  EXPECT_TRUE(Contains(PageForQuery(nullptr, "overlay=1&hide=7"),
                       "<body class=\"overlay\">"));
  for (const char* query :
       {"overlay=1", "hide=7", "overlay=1&hide=7;alert(1)",
        "overlay=1&hide=%3Cscript%3E", "overlay=1&hide=86400"}) {
    const std::string page = PageForQuery(nullptr, query);
    EXPECT_TRUE(Contains(page, "const hideSeconds = 0;")) << query;
    EXPECT_FALSE(Contains(page, "alert")) << query;
  }
  EXPECT_TRUE(
      Contains(PageHtml(nullptr, true, 1000000), "const hideSeconds = 0;"));
  EXPECT_TRUE(Contains(PageHtml(nullptr, true, -3), "const hideSeconds = 0;"));
}

}  // namespace
}  // namespace receiver
