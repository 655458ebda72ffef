#include "receiver/web/control_state.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "receiver/web/problems.h"

namespace receiver {
namespace {

TEST(ProblemBoardTest, EveryProblemStaysOpenUntilMended) {
  ProblemBoard board;
  Problem line7;
  line7.line = 7;
  line7.text = "unknown field {titel}";
  Problem line9 = line7;
  line9.line = 9;
  board.SetSettings({line7, line9}, 100);
  board.SetService("Icecast", ServiceHealth::kWaiting, "", 100);
  board.SetService("webhook discord", ServiceHealth::kFailing,
                   "webhook discord cannot be reached", 110);
  board.SetFile("album.txt", "cannot replace album.txt", 120);
  EXPECT_EQ(board.Count(), 4u);

  // A save that mends line 9 keeps line 7 as it was, since 100.
  board.SetSettings({line7}, 200);
  // Failing again in another way is the same failure, since 110.
  board.SetService("webhook discord", ServiceHealth::kFailing,
                   "webhook discord answered HTTP 500", 210);
  board.SetService("Icecast", ServiceHealth::kRefused, "Icecast refused", 220);
  board.SetFile("album.txt", "cannot replace album.txt again", 230);
  std::vector<Problem> open = board.Open();
  ASSERT_EQ(open.size(), 4u);
  EXPECT_EQ(open[0].line, 7);
  EXPECT_EQ(open[0].since, 100);
  EXPECT_EQ(open[1].subject, "Icecast");
  EXPECT_EQ(open[1].since, 220);
  EXPECT_EQ(open[2].text, "webhook discord answered HTTP 500");
  EXPECT_EQ(open[2].since, 110);
  EXPECT_EQ(open[3].kind, Problem::Kind::kFile);
  EXPECT_EQ(open[3].since, 120);

  board.SetSettings({}, 300);
  board.SetService("webhook discord", ServiceHealth::kWorking, "", 310);
  board.RemoveService("Icecast");
  board.SetFile("album.txt", "", 320);
  EXPECT_EQ(board.Count(), 0u);
  EXPECT_TRUE(board.Open().empty());
  ASSERT_EQ(board.services().size(), 1u);
  EXPECT_EQ(board.services()[0].since, 310);
  EXPECT_EQ(board.services()[0].problem, "");
}

TEST(ControlStateTest, TheStateAndATestSong) {
  ProblemBoard board;
  board.SetService("ListenBrainz", ServiceHealth::kFailing,
                   "ListenBrainz cannot be reached", 1714594500);
  ControlFacts facts;
  facts.listen = "0.0.0.0:8080";
  facts.page = "http://127.0.0.1:8080/";
  facts.folder = "C:\\Songs";
  facts.files = {"now_playing.txt", "now_playing.json"};
  facts.last = LastReport{{"A", "B", "\xFF", "2024-05-01T20:15:00Z"}, "::1"};
  facts.history_json = "[{\"title\":\"T\"}]\n";
  facts.problems = &board;
  const nlohmann::json state = nlohmann::json::parse(ControlStateJson(facts));
  EXPECT_EQ(state["overlay"], "http://127.0.0.1:8080/?overlay=1");
  EXPECT_EQ(state["files"][0]["path"], "C:\\Songs\\now_playing.txt");
  EXPECT_TRUE(state["song"].is_null());
  // Broken bytes cannot break the answer.
  EXPECT_EQ(state["last_report"]["title"], "\xEF\xBF\xBD");
  EXPECT_EQ(state["last_report"]["from"], "::1");
  EXPECT_EQ(state["history"][0]["title"], "T");
  EXPECT_EQ(state["problems"][0]["kind"], "service");
  EXPECT_EQ(state["problems"][0]["since"], "2024-05-01T20:15:00Z");
  EXPECT_TRUE(state["problems"][0]["line"].is_null());
  EXPECT_EQ(state["services"][0]["health"], "failing");

  const std::optional<Song> song = ParseTestSong(
      "{\"artist\":\" Les \\u00c9toiles \",\"title\":\"Caf\\u00e9\\u0007\","
      "\"album\":7}");
  ASSERT_TRUE(song);
  EXPECT_EQ(song->artist, "Les \xC3\x89toiles");
  EXPECT_EQ(song->title, "Caf\xC3\xA9");
  EXPECT_EQ(song->album, "");
  EXPECT_FALSE(ParseTestSong("{\"artist\":\"\",\"title\":\" \"}"));
  EXPECT_FALSE(ParseTestSong("[\"artist\"]"));
  EXPECT_FALSE(ParseTestSong("artist=A"));
}

}  // namespace
}  // namespace receiver
