#include <gtest/gtest.h>

#include "receiver/lyrics/lrc.h"
#include "receiver/lyrics/lrclib.h"
#include "receiver/services/answers.h"
#include "receiver/services/cover_key.h"
#include "receiver/services/outgoing.h"

namespace receiver {
namespace {

TEST(LrcTest, TimesOffsetsSeveralTimesAndBadLines) {
  const std::vector<LyricLine> lines = ParseLrc(
      "\xEF\xBB\xBF[ar:Artist]\r\n"
      "[ti:Title]\n"
      "[offset:+500]\n"
      "[00:12.00][01:30.50]Chorus \r\n"
      "[00:05.5]First <00:05.80>word <00:06.10>times\n"
      "[1:02.345]Long minute\n"
      "[00:20.00][Intro] in brackets\n"
      "[00:25.00]\n"
      "[0a:10.00]bad minutes\n"
      "[00:61.00]bad seconds\n"
      "[00:10.0000]too fine\n"
      "[00:10.00 no end\n"
      "no time at all\n"
      "[00:00.20]Before the offset\n");
  const std::vector<std::pair<double, std::string>> expected = {
      {0, "Before the offset"},
      {5, "First word times"},
      {11.5, "Chorus"},
      {19.5, "[Intro] in brackets"},
      {24.5, ""},
      {61.845, "Long minute"},
      {90, "Chorus"}};
  ASSERT_EQ(lines.size(), expected.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_NEAR(lines[i].seconds, expected[i].first, 1e-9) << i;
    EXPECT_EQ(lines[i].text, expected[i].second) << i;
  }
  // A negative offset makes them later; a line at the same time keeps its
  // place.
  const std::vector<LyricLine> later =
      ParseLrc("[00:01.00]a\n[00:01.00]b\n[offset:-250]\n");
  ASSERT_EQ(later.size(), 2u);
  EXPECT_DOUBLE_EQ(later[0].seconds, 1.25);
  EXPECT_EQ(later[0].text + later[1].text, "ab");

  EXPECT_EQ(LineAt(lines, -1), -1);
  EXPECT_EQ(LineAt(lines, 0), 0);
  EXPECT_EQ(LineAt(lines, 11.4999), 1);
  EXPECT_EQ(LineAt(lines, 11.5), 2);
  EXPECT_EQ(LineAt(lines, 1000), 6);
  EXPECT_EQ(NextLineStart(lines, 11.5), 19.5);
  EXPECT_EQ(NextLineStart(lines, 90), std::nullopt);
  EXPECT_EQ(NextLineStart({}, 0), std::nullopt);
}

TEST(LengthsAndLyricsTest, TheRequests) {
  CoverSettings covers;
  covers.musicbrainz = "https://mb.example/";
  covers.contact = "https://example.org/me";
  const Outgoing search =
      RecordingSearch(covers, "AC/DC", "Back \"in\" Black", "Hells\\Bells");
  EXPECT_EQ(search.url,
            "https://mb.example/ws/2/recording/?query=artist%3A%22AC%2FDC%22%"
            "20AND%20recording%3A%22Hells%5C%5CBells%22%20AND%20release%3A%"
            "22Back%20%5C%22in%5C%22%20Black%22&fmt=json&limit=5");
  EXPECT_EQ(RecordingSearch(covers, "A", "", "T").url,
            "https://mb.example/ws/2/recording/?query=artist%3A%22A%22%20AND%"
            "20recording%3A%22T%22&fmt=json&limit=5");
  EXPECT_EQ(search.headers.front().second,
            "trackwire_receiver/1.0 ( https://example.org/me )");

  LyricsSettings lyrics;
  lyrics.url = "http://127.0.0.1:8080/";
  const Song song{"Bj\xC3\xB6rk", "Homogenic", "J\xC3\xB3ga & Co", ""};
  const Outgoing get = LyricsGet(lyrics, "", song, 305);
  EXPECT_EQ(get.method, "GET");
  EXPECT_EQ(get.url,
            "http://127.0.0.1:8080/api/get?artist_name=Bj%C3%B6rk&track_name=J%"
            "C3%B3ga%20%26%20Co&album_name=Homogenic&duration=305");
  EXPECT_EQ(get.headers.front(),
            std::make_pair(std::string("User-Agent"), UserAgent("")));
  const Song bare{"A", "", "T", ""};
  EXPECT_EQ(LyricsGet(lyrics, "", bare, 40).url,
            "http://127.0.0.1:8080/api/get?artist_name=A&track_name=T&"
            "duration=40");
  EXPECT_EQ(LyricsSearch(lyrics, "", song).url,
            "http://127.0.0.1:8080/api/search?artist_name=Bj%C3%B6rk&track_"
            "name=J%C3%B3ga%20%26%20Co");
  // Lengths and lyrics are kept under the song's names, in any case.
  EXPECT_EQ(RecordingKey(" a ", "b", "c"), RecordingKey("A", "B", "C"));
  EXPECT_NE(RecordingKey("a", "b", "c"), RecordingKey("a", "bc", ""));
}

TEST(LengthsAndLyricsTest, WhatTheAnswersHold) {
  const RecordingAnswer best =
      BestRecording(R"({"recordings":[{"id":"a","score":100},)"
                    R"({"id":"b","score":95,"length":254499},)"
                    R"({"id":"c","score":"100","length":254500},)"
                    R"({"id":"d","score":100,"length":1000}]})");
  EXPECT_TRUE(best.ok);
  EXPECT_EQ(best.seconds, 255);  // the first of the best scores with a length
  EXPECT_FALSE(
      BestRecording(R"({"recordings":[{"score":89,"length":9000}]})").seconds);
  EXPECT_FALSE(
      BestRecording(R"({"recordings":[{"score":99,"length":0}]})").seconds);
  EXPECT_FALSE(BestRecording("<html>").ok);

  const Song song{"Artist", "Album", "Title", ""};
  const std::string tracks =
      R"([{"artistName":"Other","trackName":"Title","syncedLyrics":"[00:01.00]no"},)"
      R"({"artistName":"artist ","trackName":"TITLE","albumName":"X",)"
      R"("plainLyrics":"plain"},)"
      R"({"artistName":"Artist","trackName":"Title","albumName":"X",)"
      R"("syncedLyrics":"[00:01.00]x"},)"
      R"({"artistName":"Artist","trackName":"Title","albumName":"Album",)"
      R"("plainLyrics":"p","syncedLyrics":"[00:02.00]album"}])";
  const LyricsAnswer found = BestSearchAnswer(tracks, song);
  ASSERT_TRUE(found.ok && found.record);
  const Lyrics synced = LyricsOfRecord(*found.record);
  EXPECT_EQ(synced.kind, Lyrics::Kind::kSynced);
  ASSERT_EQ(synced.lines.size(), 1u);
  EXPECT_EQ(synced.lines[0].text, "album");
  const LyricsAnswer plain = BestSearchAnswer(
      R"([{"artistName":"Artist","trackName":"Title","plainLyrics":"a\nb",)"
      R"("syncedLyrics":null}])",
      song);
  EXPECT_EQ(LyricsOfRecord(plain.record.value()).plain, "a\nb");
  EXPECT_FALSE(BestSearchAnswer("[]", song).record);
  EXPECT_FALSE(BestSearchAnswer("{}", song).ok);

  const LyricsAnswer instrumental = GetAnswer(
      R"({"id":1,"instrumental":true,"plainLyrics":null,"syncedLyrics":null})");
  EXPECT_EQ(LyricsOfRecord(instrumental.record.value()).kind,
            Lyrics::Kind::kInstrumental);
  EXPECT_FALSE(GetAnswer(R"({"instrumental":false,"plainLyrics":" "})").record);
  EXPECT_FALSE(GetAnswer("[]").ok);

  EXPECT_EQ(LyricsJson(&synced, 1.23456),
            "{\"kind\": \"synced\", \"elapsed\": 1.235, \"lines\": "
            "[{\"time\": 2.000, \"text\": \"album\"}]}\n");
  EXPECT_EQ(LyricsJson(nullptr, -1),
            "{\"kind\": \"none\", \"elapsed\": -1.000}\n");
}

}  // namespace
}  // namespace receiver
