#include <gtest/gtest.h>

#include "receiver/services/answers.h"
#include "receiver/services/cover_key.h"
#include "receiver/services/listens.h"
#include "receiver/songs/song_text.h"

namespace receiver {
namespace {

TEST(RelayAnswersTest, BestReleaseGroupTakesTheTopScoreFromNinety) {
  const std::string a = "11111111-1111-1111-1111-111111111111";
  const std::string b = "22222222-2222-2222-2222-22222222222b";
  const std::string hit =
      R"({"created":"x","count":3,"offset":0,"release-groups":[)"
      R"({"id":")" +
      a +
      R"(","score":95,"title":"Gold"},)"
      R"({"id":")" +
      b +
      R"(","score":100,"title":"Gold!"},)"
      R"({"id":"33333333-3333-3333-3333-333333333333","score":100}]})";
  const ReleaseGroupAnswer best = BestReleaseGroup(hit);
  EXPECT_TRUE(best.ok);
  EXPECT_EQ(best.id, b);  // the higher score; the first of equal ones

  const ReleaseGroupAnswer low = BestReleaseGroup(
      R"({"release-groups":[{"id":")" + a + R"(","score":89}]})");
  EXPECT_TRUE(low.ok);
  EXPECT_FALSE(low.id);
  const ReleaseGroupAnswer none = BestReleaseGroup(R"({"release-groups":[]})");
  EXPECT_TRUE(none.ok);
  EXPECT_FALSE(none.id);
  // An id that is no MBID never goes into a path.
  EXPECT_FALSE(
      BestReleaseGroup(R"({"release-groups":[{"id":"../../x","score":100}]})")
          .id);

  for (const char* junk :
       {"", "<html>503 Service Unavailable</html>", "[]", "{}",
        R"({"release-groups":{}})", R"({"release-groups":[)"}) {
    EXPECT_FALSE(BestReleaseGroup(junk).ok) << junk;
  }
}

TEST(RelayAnswersTest, CoverKeysFoldCaseAndSpaces) {
  // FNV-1a 64 of "ABBA\nGOLD".
  EXPECT_EQ(CoverKey("ABBA", "Gold"), "784c87ca3ea01b31");
  EXPECT_EQ(CoverKey(" abba ", "gold\t"), CoverKey("ABBA", "Gold"));
  EXPECT_EQ(CoverKey("Bj\xC3\xB6rk", "Post"), CoverKey("BJ\xC3\x96RK", "post"));
  EXPECT_NE(CoverKey("ABBA", "Gold"), CoverKey("ABB", "AGold"));
  EXPECT_TRUE(IsCoverKey(CoverKey("x", "y")));
}

TEST(RelayAnswersTest, ACachedMissStandsForADay) {
  const std::int64_t kept = 1714557600;
  EXPECT_TRUE(MissStillFresh("1714557600", kept));
  EXPECT_TRUE(MissStillFresh("1714557600", kept + 86399));
  EXPECT_FALSE(MissStillFresh("1714557600", kept + 86400));
  EXPECT_FALSE(MissStillFresh("1714557600", kept - 1));  // the clock went back
  for (const char* odd : {"", "x", "1714557600x", "-", " 1714557600"}) {
    EXPECT_FALSE(MissStillFresh(odd, kept)) << odd;
  }
}

TEST(RelayAnswersTest, ListensRoundTripAndBadLinesAreLeftOut) {
  EXPECT_FALSE(CountsAsListen(1000, 1239));
  EXPECT_TRUE(CountsAsListen(1000, 1240));
  const Listen first{{"A \"B\"\n", "", "T\xE2\x80\xA8", "2024-05-01T20:15:00Z"},
                     1714594500};
  const Listen second{{"Caf\xC3\xA9", "Al", "\\", ""}, 1714594800};
  const std::string line = ListenLine(first);
  ASSERT_EQ(line.back(), '\n');
  EXPECT_EQ(line.find('\n'), line.size() - 1);
  const std::string file = line + "not json\n" + R"({"artist":"x"})" + "\n" +
                           ListenLine(second) +
                           ListenLine(second).substr(0, 20);
  const std::vector<Listen> read = ParseListenLines(file).listens;
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].song.artist, first.song.artist);
  EXPECT_EQ(read[0].song.title, first.song.title);
  EXPECT_EQ(read[0].song.received, first.song.received);
  EXPECT_EQ(read[0].listened_at, first.listened_at);
  EXPECT_EQ(read[1].song.album, "Al");
  EXPECT_EQ(read[1].song.title, "\\");
  EXPECT_EQ(read[1].listened_at, second.listened_at);
  EXPECT_TRUE(ParseListenLines("").listens.empty());
}

}  // namespace
}  // namespace receiver
