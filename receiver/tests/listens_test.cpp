#include <gtest/gtest.h>

#include "receiver/services/kept_listens.h"
#include "receiver/services/listens.h"

namespace receiver {
namespace {

Listen At(std::int64_t listened_at, std::string title = "T") {
  return {{"A", "", std::move(title), ""}, listened_at};
}

TEST(ListensTest, DatedWhenTheSongStartedAndWhatIsNoListenKeptAside) {
  const Song song{"A", "", "T", ""};
  EXPECT_FALSE(ListenOf(song, 1714557600, 1714557600 + 239));
  const std::optional<Listen> listen =
      ListenOf(song, 1714557600, 1714557600 + 240);
  ASSERT_TRUE(listen);
  EXPECT_EQ(listen->listened_at, 1714557600);
  EXPECT_EQ(listen->song.title, "T");

  const std::string other =
      "{\"artist\":\"A\",\"album\":\"\",\"title\":\"Zero\",\"listened_at\":0}\n"
      "{\"artist\":\"A\",\"album\":\"\",\"title\":\"Less\",\"listened_at\":-5}"
      "\n"
      "{\"artist\":\"A\",\"album\":\"\",\"title\":\"Text\","
      "\"listened_at\":\"1714557600\"}\n"
      "{\"artist\":\"Cut\",\"alb\n";
  const ListenLines lines =
      ParseListenLines(ListenLine(*listen) + "\n  \r\n" + other +
                       "{\"artist\":\"B\",\"album\":\"\",\"title\":\"CRLF\","
                       "\"listened_at\":1714557840}\r\n");
  ASSERT_EQ(lines.listens.size(), 2u);
  EXPECT_EQ(lines.listens[0].listened_at, 1714557600);
  EXPECT_EQ(lines.listens[1].song.title, "CRLF");
  EXPECT_EQ(lines.listens[1].listened_at, 1714557840);
  // Blank lines are neither.
  EXPECT_EQ(lines.unread, other);
  EXPECT_EQ(lines.unread_count, 4u);
}

TEST(ListensTest, WithALengthHalfOfItOrFourMinutesAndLongerThanThirtySeconds) {
  constexpr std::int64_t kStart = 1714557600;
  const auto counts = [](std::int64_t played, int length) {
    return CountsAsListen(kStart, kStart + played, length);
  };
  EXPECT_FALSE(counts(239, 0));
  EXPECT_TRUE(counts(240, 0));
  // A short song: half its length.
  EXPECT_FALSE(counts(19, 40));
  EXPECT_TRUE(counts(20, 40));
  EXPECT_FALSE(counts(20, 41));
  EXPECT_TRUE(counts(21, 41));
  EXPECT_TRUE(counts(16, 31));
  // 30 s or less never counts, however long it stayed.
  EXPECT_FALSE(counts(3600, 30));
  // A long one: 4 minutes come first.
  EXPECT_FALSE(counts(239, 600));
  EXPECT_TRUE(counts(240, 600));
  EXPECT_FALSE(counts(-5, 40));
  Song song{"A", "", "T", ""};
  song.length = 40;
  EXPECT_TRUE(ListenOf(song, kStart, kStart + 20));
  song.length = 0;
  EXPECT_FALSE(ListenOf(song, kStart, kStart + 20));
}

TEST(KeptListensTest, TheOldestGoBeyondTheBoundsAndTheFileStaysWithin) {
  KeptListens kept(3, 1000);
  std::vector<std::string> dropped;
  for (int i = 1; i <= 3; ++i) EXPECT_TRUE(kept.Add(At(i), dropped));
  EXPECT_FALSE(kept.Add(At(3), dropped));
  EXPECT_TRUE(dropped.empty());
  EXPECT_TRUE(kept.Add(At(4), dropped));
  EXPECT_EQ(dropped, std::vector<std::string>{ListenId(At(1))});
  EXPECT_EQ(kept.ids(),
            (std::deque<std::string>{ListenId(At(2)), ListenId(At(3)),
                                     ListenId(At(4))}));

  // Long titles: the bytes bind first.
  const std::string line = ListenLine(At(1, std::string(300, 'x')));
  KeptListens large(100, 4 * line.size() - 1);
  dropped.clear();
  for (int i = 1; i <= 6; ++i) large.Add(At(i, std::string(300, 'x')), dropped);
  EXPECT_EQ(dropped.size(), 3u);
  EXPECT_EQ(large.ids().front(), ListenId(At(4, std::string(300, 'x'))));
  EXPECT_EQ(large.Text().size(), 3 * line.size());
  EXPECT_EQ(large.bytes(), 3 * line.size());

  EXPECT_TRUE(large.Remove({large.ids().front(), "no such"}));
  EXPECT_FALSE(large.Find(ListenId(At(4, std::string(300, 'x')))));
  EXPECT_EQ(large.Text().size(), large.bytes());
  EXPECT_FALSE(large.Remove({"no such"}));
}

}  // namespace
}  // namespace receiver
