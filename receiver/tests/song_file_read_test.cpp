#include "receiver/songs/song_file_read.h"

#include <gtest/gtest.h>

namespace receiver {
namespace {

TEST(ParseSongFileTest, WhatThisReceiverWritesComesBack) {
  const Song song{"Les \xC3\x89toiles \"Live\"", "AC/DC \\ Back",
                  "Caf\xC3\xA9\xE2\x80\xA8<b>\xF0\x9F\x8E\xB5",
                  "2024-05-01T20:15:00Z"};
  const SongFileRead read = ParseSongFile(SongFileJson(&song));
  ASSERT_EQ(read.state, SongFileState::kSong);
  EXPECT_EQ(read.song.artist, song.artist);
  EXPECT_EQ(read.song.album, song.album);
  EXPECT_EQ(read.song.title, song.title);
  EXPECT_EQ(read.song.received, song.received);
  EXPECT_EQ(read.song.cover, "");
}

TEST(ParseSongFileTest, ACoverNamedInTheFileIsTheFileBesideIt) {
  Song song{"A", "B", "T", "R"};
  song.cover = "0123456789abcdef";
  const SongFileRead read = ParseSongFile(SongFileJson(&song, true));
  ASSERT_EQ(read.state, SongFileState::kSong);
  EXPECT_EQ(read.song.title, "T");
  EXPECT_EQ(read.song.cover, kCoverFile);
  for (const char* text : {"{\"title\": \"T\", \"cover\": \"\"}",
                           "{\"title\": \"T\", \"cover\": true}",
                           "{\"cover\": \"cover.jpg\", \"other\": 1}"}) {
    EXPECT_EQ(ParseSongFile(text).song.cover, "") << text;
  }
}

TEST(ParseSongFileTest, AnyObjectWithTheFieldsIsASong) {
  const SongFileRead read = ParseSongFile(
      "\xEF\xBB\xBF{\"title\":\"T\\u00e9\\ud83c\\udfb5\\n\",\"extra\":[1,-2."
      "5e3,"
      "{\"a\":null,\"b\":[true,false]}],\"artist\":7,\"album\":\"  A  \"}\r\n");
  ASSERT_EQ(read.state, SongFileState::kSong);
  EXPECT_EQ(read.song.title, "T\xC3\xA9\xF0\x9F\x8E\xB5");
  EXPECT_EQ(read.song.artist, "");
  EXPECT_EQ(read.song.album, "A");
  EXPECT_EQ(read.song.received, "");
  EXPECT_EQ(ParseSongFile(" null\n").state, SongFileState::kNoSong);
}

TEST(ParseSongFileTest, AnythingElseIsUnreadable) {
  for (const char* text :
       {"", "{", "{}", "{\"title\": \"x\"", "{\"title\": \"x\"} x", "[]",
        "\"title\"", "{\"title\": \"x\",}", "{\"title\": \"a\nb\"}",
        "{\"title\": \"\\x\"}", "{\"title\": \"\\u12\"}", "{\"other\": 1}",
        "{title: \"x\"}", "nul", "{\"title\": tru}"}) {
    EXPECT_EQ(ParseSongFile(text).state, SongFileState::kUnreadable) << text;
  }
  std::string deep(200, '[');
  EXPECT_EQ(ParseSongFile("{\"a\":" + deep).state, SongFileState::kUnreadable);
}

TEST(ParseSongFileTest, NestingDeeperThanASongFileHasIsRefused) {
  const auto nested = [](int depth) {
    return "{\"title\": \"x\", \"extra\": " + std::string(depth, '[') +
           std::string(depth, ']') + "}";
  };
  EXPECT_EQ(ParseSongFile(nested(32)).state, SongFileState::kSong);
  EXPECT_EQ(ParseSongFile(nested(33)).state, SongFileState::kUnreadable);
  EXPECT_EQ(ParseSongFile(nested(30000)).state, SongFileState::kUnreadable);
}

TEST(ParseSongFileTest, BrokenUtf8KeepsTheSongWithReplacementCharacters) {
  // As Notepad saves a hand-edited file in the ANSI code page.
  const SongFileRead read =
      ParseSongFile("{\"artist\": \"Bj\xF6rk\", \"title\": \"Caf\xE9\"}");
  ASSERT_EQ(read.state, SongFileState::kSong);
  EXPECT_EQ(read.song.artist, "Bj\xEF\xBF\xBDrk");
  EXPECT_EQ(read.song.title, "Caf\xEF\xBF\xBD");
  EXPECT_EQ(ParseSongFile("{\"title\": \"x\"}\xFF").state,
            SongFileState::kUnreadable);
}

TEST(ParseSongFileTest, ValuesAreCleanedLikeAReport) {
  const SongFileRead read = ParseSongFile(
      "{\"title\": \"a\\u0000b\\u001fc\\u0085d\", \"artist\": \"" +
      std::string(600, 'x') + "\"}");
  ASSERT_EQ(read.state, SongFileState::kSong);
  EXPECT_EQ(read.song.title, "abcd");
  EXPECT_EQ(read.song.artist, std::string(500, 'x'));
}

}  // namespace
}  // namespace receiver
