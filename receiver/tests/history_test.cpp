#include "receiver/songs/history.h"

#include <gtest/gtest.h>

namespace receiver {
namespace {

// 2024-05-01T19:04:05Z, at UTC+02:00.
constexpr std::int64_t kAt = 1714590245;
constexpr int kPlusTwo = 120;

TEST(HistoryTest, NewestFirstAndNoTwiceWithinTenSeconds) {
  History history;
  EXPECT_TRUE(history.Add({"A", "", "One", ""}, kAt, kPlusTwo));
  EXPECT_FALSE(history.Add({"A", "", "One", "later"}, kAt + 10, kPlusTwo));
  EXPECT_TRUE(history.Add({"A", "", "Two", ""}, kAt + 11, kPlusTwo));
  EXPECT_TRUE(history.Add({"A", "", "Two", ""}, kAt + 22, kPlusTwo));
  ASSERT_EQ(history.entries().size(), 3u);
  EXPECT_EQ(history.entries().front().song.title, "Two");
  for (int i = 0; i < 600; ++i)
    history.Add({"", "", std::to_string(i), ""}, i, 0);
  EXPECT_EQ(history.entries().size(), kHistoryKept);
  EXPECT_EQ(history.entries().front().song.title, "599");
}

TEST(HistoryTest, LocalTimesWithTheirOffset) {
  EXPECT_EQ(IsoLocal(kAt, kPlusTwo), "2024-05-01T21:04:05+02:00");
  EXPECT_EQ(IsoLocal(kAt, -330), "2024-05-01T13:34:05-05:30");
  const std::optional<HistoryEntry> back =
      ParseIsoLocal("2024-05-01T13:34:05-05:30");
  ASSERT_TRUE(back);
  EXPECT_EQ(back->unix_seconds, kAt);
  EXPECT_EQ(back->offset_minutes, -330);
  EXPECT_FALSE(ParseIsoLocal("2024-05-01T21:04:05Z"));
}

TEST(HistoryTest, TextJsonAndBack) {
  History history;
  history.Add({"Les \xC3\x89toiles", "", "Caf\xC3\xA9", ""}, kAt, kPlusTwo);
  history.Add({"B", "Al\"bum", "T", ""}, kAt + 3600, kPlusTwo);
  const auto line = [](const Song& song) {
    return song.artist + " - " + song.title;
  };
  EXPECT_EQ(HistoryText(history.entries(), 10, line),
            "22:04  B - T\r\n21:04  Les \xC3\x89toiles - Caf\xC3\xA9\r\n");
  EXPECT_EQ(HistoryText(history.entries(), 1, line), "22:04  B - T\r\n");
  const std::string json = HistoryJson(history.entries(), 50);
  EXPECT_EQ(
      json.substr(0, 92),
      "[\n    {\"artist\": \"B\", \"album\": \"Al\\\"bum\", \"title\": \"T\", "
      "\"time\": \"2024-05-01T22:04:05+02:00\"}");
  EXPECT_EQ(HistoryJson({}, 50), "[]\n");
  const std::vector<HistoryEntry> back = ParseHistoryJson(json).value();
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[1].song.artist, "Les \xC3\x89toiles");
  EXPECT_EQ(back[1].unix_seconds, kAt);
  // Cut or not an array: no history, which is not one without songs.
  EXPECT_FALSE(ParseHistoryJson(json.substr(0, json.size() / 2)));
  EXPECT_FALSE(ParseHistoryJson("{}"));
  EXPECT_FALSE(ParseHistoryJson(""));
  EXPECT_TRUE(ParseHistoryJson("[]\n").value().empty());
}

TEST(HistoryTest, ACoverFoundLaterAndItsPathInTheJson) {
  History history;
  const Song first{"A", "Album", "One", "R1"};
  const Song second{"A", "Album", "Two", "R2"};
  history.Add(first, kAt, kPlusTwo);
  history.Add(second, kAt + 300, kPlusTwo);
  const std::string without = HistoryJson(history.entries(), 50);
  // Only the newest entry takes a cover, and only its own.
  EXPECT_FALSE(history.SetCover(first, "0123456789abcdef"));
  EXPECT_TRUE(history.SetCover(second, "0123456789abcdef"));
  EXPECT_FALSE(history.SetCover(second, "0123456789abcdef"));
  EXPECT_EQ(HistoryJson(history.entries(), 50),
            "[\n    {\"artist\": \"A\", \"album\": \"Album\", \"title\": "
            "\"Two\", \"time\": \"2024-05-01T21:09:05+02:00\", \"cover\": "
            "\"covers/0123456789abcdef.jpg\"},\n" +
                without.substr(without.find("    {\"artist\": \"A\", "
                                            "\"album\": \"Album\", \"title\": "
                                            "\"One\"")));
  // The placeholder is no file of the cache: not named.
  EXPECT_TRUE(history.SetCover(second, "placeholder"));
  EXPECT_EQ(HistoryJson(history.entries(), 50), without);
  // So does a length, after the cover.
  EXPECT_FALSE(history.SetLength(first, 200));
  EXPECT_TRUE(history.SetLength(second, 305));
  const std::string timed = HistoryJson(history.entries(), 50);
  EXPECT_NE(timed.find("+02:00\", \"length\": 305},\n"), std::string::npos);
  EXPECT_EQ(ParseHistoryJson(timed).value()[0].song.length, 305);
  EXPECT_EQ(ParseHistoryJson(timed).value()[1].song.length, 0);
  history.SetLength(second, 0);
  EXPECT_EQ(HistoryJson(history.entries(), 50), without);
  history.SetCover(second, "0123456789abcdef");
  const std::vector<HistoryEntry> back =
      ParseHistoryJson(HistoryJson(history.entries(), 50)).value();
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].song.cover, "0123456789abcdef");
  EXPECT_EQ(back[1].song.cover, "");
  const std::string entry =
      "{\"title\": \"T\", \"time\": \"2024-05-01T21:04:05+02:00\", \"cover\": ";
  for (const char* cover :
       {"\"covers/0123456789ABCDEF.jpg\"", "\"covers/0123456789abcdef.png\"",
        "\"covers/../../x/0123456.jpg\"", "\"0123456789abcdef\"",
        "\"C:/covers/0123456789abcdef.jpg\"", "\"covers/.jpg\"", "7"}) {
    const std::vector<HistoryEntry> read =
        ParseHistoryJson("[" + entry + cover + "}]").value();
    ASSERT_EQ(read.size(), 1u) << cover;
    EXPECT_EQ(read[0].song.cover, "") << cover;
  }
}

TEST(HistoryTest, TheLargestHistoryWrittenIsReadBack) {
  // Each field cut to its length by CleanText, every character escaped at
  // its widest (U+2028 as "\u2028"), and a cover.
  std::string widest;
  for (std::size_t i = 0; i < 2 * kMaxValueCharacters; ++i) {
    widest += "\xE2\x80\xA8";
  }
  widest = CleanText(widest);
  History history;
  for (std::size_t i = 0; i < kHistoryKept; ++i) {
    history.Add({widest, widest, CleanText(std::to_string(i) + widest), ""},
                kAt + static_cast<std::int64_t>(i), -(14 * 60));
    history.SetCover(history.entries().front().song, "0123456789abcdef");
    history.SetLength(history.entries().front().song, kMaxSongLength);
  }
  const std::string json = HistoryJson(history.entries(), kHistoryKept);
  EXPECT_LE(json.size(), kMaxHistoryJson);
  // Far beyond the settings file's 256 KB, which bounded it before.
  EXPECT_GT(json.size(), 256 * 1024u);
  const std::optional<std::vector<HistoryEntry>> back = ParseHistoryJson(json);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->size(), kHistoryKept);
  EXPECT_EQ(back->front().song.title, history.entries().front().song.title);
  EXPECT_EQ(back->back().song.cover, "0123456789abcdef");
}

TEST(HistoryTest, PlayoutLogRows) {
  const HistoryEntry entry{{"A, B", "", "Say \"Hi\"", ""}, kAt, kPlusTwo};
  EXPECT_EQ(LogFileName(entry), "2024-05-01.csv");
  EXPECT_EQ(LogFileName({{}, kAt + 3 * 3600, kPlusTwo}), "2024-05-02.csv");
  EXPECT_EQ(LogRow(entry),
            "2024-05-01,21:04:05,\"A, B\",,\"Say \"\"Hi\"\"\"\r\n");
  EXPECT_EQ(LogFileStart().substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(CsvField("plain"), "plain");
}

}  // namespace
}  // namespace receiver
