#include "receiver/icon/tray_text.h"
#include "receiver/web/addresses.h"

#include <gtest/gtest.h>

#include "receiver/system/utf8.h"

namespace receiver {
namespace {

TEST(AddressTest, ListenAndOverlay) {
  EXPECT_EQ(ListenAddress("127.0.0.1", 80), "127.0.0.1:80");
  EXPECT_EQ(ListenAddress("::1", 8080), "[::1]:8080");
  EXPECT_EQ(OverlayAddress("127.0.0.1", 80), "http://127.0.0.1/?overlay=1");
  EXPECT_EQ(OverlayAddress("127.0.0.1", 8080),
            "http://127.0.0.1:8080/?overlay=1");
  EXPECT_EQ(OverlayAddress("0.0.0.0", 80), "http://127.0.0.1/?overlay=1");
  EXPECT_EQ(OverlayAddress("::", 81), "http://[::1]:81/?overlay=1");
  EXPECT_EQ(OverlayAddress("192.168.1.5", 80), "http://192.168.1.5/?overlay=1");
  // What the console prints for the page: an IPv6-only socket is not reached
  // through 127.0.0.1.
  EXPECT_EQ(PageAddress("::", 8080), "http://[::1]:8080/");
  EXPECT_EQ(PageAddress("fe80::1", 80), "http://[fe80::1]/");
}

TEST(TooltipTextTest, TheSongOrThatThereIsNoneOverTheAddress) {
  EXPECT_EQ(TooltipText(nullptr, "127.0.0.1:80"),
            "Waiting for the first song\nListening on 127.0.0.1:80");
  const Song song{"Les \xC3\x89toiles", "\xC3\x80 la carte", "Caf\xC3\xA9",
                  "2024-05-01T20:15:00Z"};
  EXPECT_EQ(TooltipText(&song, "[::1]:81"),
            "Les \xC3\x89toiles - Caf\xC3\xA9\nListening on [::1]:81");
  const Song title_only{"", "Album", "Title", ""};
  EXPECT_EQ(TooltipText(&title_only, "a:1"), "Title\nListening on a:1");
  const Song artist_only{"Artist", "", "", ""};
  EXPECT_EQ(TooltipText(&artist_only, "a:1"), "Artist\nListening on a:1");
  const Song album_only{"", "Album", "", ""};
  EXPECT_EQ(TooltipText(&album_only, "a:1"), "Album\nListening on a:1");
  const Song lines{"A\nB", "", "C\tD\r", ""};
  EXPECT_EQ(TooltipText(&lines, "a:1"), "A B - C D \nListening on a:1");
}

TEST(TooltipTextTest, ALongSongIsShortenedAndTheAddressStays) {
  const std::string address = "Listening on 127.0.0.1:65535";
  const Song ascii{std::string(300, 'a'), "", "Title", ""};
  const std::string text = TooltipText(&ascii, "127.0.0.1:65535");
  EXPECT_EQ(Utf16Units(text), kTooltipUnits);
  EXPECT_EQ(text, std::string(kTooltipUnits - address.size() - 2, 'a') +
                      "\xE2\x80\xA6\n" + address);
  // U+1F3B5 takes two UTF-16 units: never half of it at the cut.
  std::string notes;
  for (int i = 0; i < 100; ++i) notes += "\xF0\x9F\x8E\xB5";
  for (const std::size_t limit : {kTooltipUnits, std::size_t{64}}) {
    for (const std::string& prefix : {std::string(), std::string("x")}) {
      const Song wide{prefix + notes, "", "", ""};
      const std::string cut = TooltipText(&wide, "127.0.0.1:80", limit);
      EXPECT_LE(Utf16Units(cut), limit);
      EXPECT_GE(Utf16Units(cut), limit - 1);
      EXPECT_EQ(DecodeUtf8(cut).find(U'\uFFFD'), std::u32string::npos);
      EXPECT_NE(cut.find("\xE2\x80\xA6\nListening on 127.0.0.1:80"),
                std::string::npos);
    }
  }
  // No room for the song at all: the address alone, itself shortened.
  EXPECT_EQ(TooltipText(&ascii, "127.0.0.1:80", 26),
            "Listening on 127.0.0.1:80");
  EXPECT_EQ(TooltipText(&ascii, "127.0.0.1:80", 10), "Listening\xE2\x80\xA6");
}

TEST(TooltipTextTest, OpenProblemsComeFirst) {
  const Song song{"Artist", "", "Title", ""};
  EXPECT_EQ(IconTooltipText(&song, "a:1", 0),
            "Artist - Title\nListening on a:1");
  EXPECT_EQ(
      IconTooltipText(&song, "a:1", 1),
      "1 problem: see the control page\nArtist - Title\nListening on a:1");
  const Song long_one{std::string(300, 'a'), "", "", ""};
  const std::string three = IconTooltipText(&long_one, "127.0.0.1:80", 3);
  EXPECT_EQ(Utf16Units(three), kTooltipUnits);
  EXPECT_EQ(three.substr(0, 33), "3 problems: see the control page\n");
}

}  // namespace
}  // namespace receiver
