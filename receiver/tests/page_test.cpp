#include "receiver/web/page.h"

#include <gtest/gtest.h>

#include "receiver/web/lyrics_page.h"

namespace receiver {
namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

PageSwitches Overlay() {
  PageSwitches switches;
  switches.overlay = true;
  return switches;
}

TEST(HtmlEscapeTest, FiveCharacters) {
  EXPECT_EQ(
      HtmlEscape("<a href=\"x\">Rock & 'Roll'</a>"),
      "&lt;a href=&quot;x&quot;&gt;Rock &amp; &apos;Roll&apos;&lt;/a&gt;");
}

TEST(PageHtmlTest, EveryValueEscaped) {
  const Song song{"<img src=x onerror=alert(1)>", "\"quoted\" & 'single'",
                  "<script>alert(1)</script>", "2024-05-01T20:15:00Z"};
  const std::string page = PageHtml(&song, {});
  EXPECT_TRUE(Contains(page, ">&lt;script&gt;alert(1)&lt;/script&gt;</div>"));
  EXPECT_TRUE(Contains(page, ">&lt;img src=x onerror=alert(1)&gt;</div>"));
  EXPECT_TRUE(
      Contains(page, ">&quot;quoted&quot; &amp; &apos;single&apos;</div>"));
  EXPECT_TRUE(Contains(page, ">received 2024-05-01T20:15:00Z</div>"));
  EXPECT_FALSE(Contains(page, "<script>alert"));
  EXPECT_FALSE(Contains(page, "<img src"));
  // No placeholder of the page's file is left over.
  EXPECT_FALSE(Contains(page, "{{"));
}

TEST(PageHtmlTest, StableClassNamesAndATimeStampOnlyOutsideTheOverlay) {
  const Song song{"Artist", "Album", "Title", "2024-05-01T20:15:00Z"};
  for (const bool overlay : {false, true}) {
    PageSwitches switches;
    switches.overlay = overlay;
    const std::string page = PageHtml(&song, switches);
    EXPECT_TRUE(
        Contains(page, "<div class=\"now-playing\" id=\"now-playing\">"));
    EXPECT_TRUE(Contains(
        page, "<div class=\"title\" id=\"title\" dir=\"auto\">Title<"));
    EXPECT_TRUE(Contains(
        page, "<div class=\"artist\" id=\"artist\" dir=\"auto\">Artist<"));
    EXPECT_TRUE(Contains(
        page, "<div class=\"album\" id=\"album\" dir=\"auto\">Album<"));
    EXPECT_EQ(Contains(page, "2024-05-01T20:15:00Z"), !overlay);
    EXPECT_EQ(Contains(page, "id=\"received\""), !overlay);
    EXPECT_EQ(Contains(page, "<body class=\"overlay"), overlay);
    EXPECT_TRUE(Contains(page,
                         "<link rel=\"stylesheet\" id=\"user-style\" "
                         "href=\"/overlay.css\">"));
  }
  EXPECT_TRUE(Contains(PageHtml(nullptr, {}), ">Nothing yet</div>"));
  const Song odd{"", "", "", "\"><b>x"};
  EXPECT_TRUE(Contains(PageHtml(&odd, {}),
                       "data-utc=\"&quot;&gt;&lt;b&gt;x\">received "
                       "&quot;&gt;&lt;b&gt;x</div>"));
}

TEST(PageHtmlTest, TheCoverIsAskedForAndHiddenUntilItLoads) {
  Song song{"A", "B", "T", "2024-05-01T20:15:00Z"};
  EXPECT_TRUE(Contains(PageHtml(&song, Overlay()),
                       "<img class=\"cover\" id=\"cover\" alt=\"\" hidden>"));
  song.cover = "0123456789abcdef";
  EXPECT_TRUE(Contains(PageHtml(&song, Overlay()),
                       "<img class=\"cover\" id=\"cover\" alt=\"\" "
                       "src=\"/cover.jpg?0123456789abcdef\" hidden>"));
}

TEST(PageHtmlTest, FollowsEventsAndSetsTextOnly) {
  const std::string page = PageHtml(nullptr, {});
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

TEST(SwitchesTest, EachSwitchAndItsDefaultForAnythingElse) {
  const std::string page = PageForQuery(
      nullptr,
      "overlay=1&theme=light&align=right&width=640&scroll=1&cover=0&hide=7");
  EXPECT_TRUE(Contains(page,
                       "<body class=\"overlay theme-light align-right "
                       "fixed-width scroll no-cover\" style=\"--box-width: "
                       "640px\" data-hide=\"7\">"));
  EXPECT_TRUE(Contains(PageForQuery(nullptr, "overlay=1&theme=clear"),
                       "<body class=\"overlay theme-clear align-left\">"));
  for (const char* query :
       {"overlay=1", "overlay=1&theme=Light", "overlay=1&theme=<b>",
        "overlay=1&align=centre", "overlay=1&width=199", "overlay=1&width=3841",
        "overlay=1&width=60em", "overlay=1&scroll=yes", "overlay=1&cover=no",
        "overlay=1&hide=7;alert(1)", "overlay=1&hide=%3Cscript%3E"}) {
    EXPECT_TRUE(Contains(PageForQuery(nullptr, query),
                         "<body class=\"overlay theme-dark align-left\">"))
        << query;
  }
  const std::string progress = PageForQuery(nullptr, "overlay=1&progress=1");
  EXPECT_TRUE(Contains(progress, "align-left progress\">"));
  EXPECT_TRUE(Contains(progress,
                       "<div class=\"progress-bar\" id=\"progress\" hidden>"));
  EXPECT_FALSE(Contains(PageForQuery(nullptr, "overlay=1&progress=yes"),
                        "progress-bar\""));
  // The lyrics' page takes the overlay's theme, align and width.
  EXPECT_TRUE(Contains(LyricsPageForQuery("theme=clear&align=right&width=640"),
                       "<body class=\"lyrics theme-clear align-right "
                       "fixed-width\" style=\"--box-width: 640px\">"));
  EXPECT_TRUE(Contains(LyricsPageForQuery("width=9&theme=<b>"),
                       "<body class=\"lyrics theme-dark align-left\">"));
  // The page at / takes none of them.
  EXPECT_TRUE(Contains(PageForQuery(nullptr, "theme=light&width=640&hide=7"),
                       "<body class=\"\">"));
  PageSwitches wide = Overlay();
  wide.width = 100000;
  wide.hide_seconds = -3;
  EXPECT_TRUE(Contains(PageHtml(nullptr, wide),
                       "<body class=\"overlay theme-dark align-left\">"));
}

}  // namespace
}  // namespace receiver
