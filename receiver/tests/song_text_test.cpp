#include "receiver/songs/song_text.h"

#include <gtest/gtest.h>

#include "receiver/songs/song_file_read.h"

namespace receiver {
namespace {

Song Sample() {
  return {"Les \xC3\x89toiles \"Live\"", "AC/DC \\ Back",
          "Caf\xC3\xA9\xE2\x80\xA8<b>\xF0\x9F\x8E\xB5", "2024-05-01T20:15:00Z"};
}

TEST(FormatLineTest, PlaceholdersOnce) {
  const Song song{"{title}", "Album", "Title", ""};
  EXPECT_EQ(FormatLine("{title} by {artist} ({album}) {year} {title", song),
            "Title by {title} (Album) {year} {title");
}

TEST(TextLineTest, DefaultDropsTheDashWithoutArtist) {
  EXPECT_EQ(TextLine(std::nullopt, {"Artist", "Album", "Title", ""}),
            "Artist - Title");
  EXPECT_EQ(TextLine(std::nullopt, {"", "Album", "Title", ""}), "Title");
  EXPECT_EQ(TextLine(std::string("{artist} - {title}"), {"", "", "T", ""}),
            " - T");
}

TEST(SongFileJsonTest, SameBytesAsThePhpReceiver) {
  const Song song = Sample();
  // json_encode(..., JSON_PRETTY_PRINT | JSON_UNESCAPED_SLASHES |
  // JSON_UNESCAPED_UNICODE) . "\n" in PHP 8.2.
  EXPECT_EQ(SongFileJson(&song),
            "{\n"
            "    \"artist\": \"Les \xC3\x89toiles \\\"Live\\\"\",\n"
            "    \"album\": \"AC/DC \\\\ Back\",\n"
            "    \"title\": \"Caf\xC3\xA9\\u2028<b>\xF0\x9F\x8E\xB5\",\n"
            "    \"received\": \"2024-05-01T20:15:00Z\"\n"
            "}\n");
  EXPECT_EQ(SongFileJson(nullptr), "null\n");
  EXPECT_EQ(JsonString(std::string("\x01\x1F\n\t\b\f\r\0", 8)),
            "\"\\u0001\\u001f\\n\\t\\b\\f\\r\\u0000\"");
}

TEST(SongEventTest, OneDataLine) {
  EXPECT_EQ(SongEvent({"A\nB", "", "T", "R"}),
            "data: {\"artist\": \"A\\nB\", \"album\": \"\", \"title\": \"T\", "
            "\"received\": \"R\"}\n\n");
}

TEST(SongTextTest, ACoverIsNamedInTheFileAndTheEvent) {
  Song song{"A", "", "T", "R"};
  song.cover = "0123456789abcdef";
  EXPECT_EQ(SongFileJson(&song, true),
            "{\n"
            "    \"artist\": \"A\",\n"
            "    \"album\": \"\",\n"
            "    \"title\": \"T\",\n"
            "    \"received\": \"R\",\n"
            "    \"cover\": \"cover.jpg\",\n"
            "    \"idle\": true\n"
            "}\n");
  EXPECT_EQ(
      SongEvent(song),
      "data: {\"artist\": \"A\", \"album\": \"\", \"title\": \"T\", "
      "\"received\": \"R\", \"cover\": \"/cover.jpg?0123456789abcdef\"}\n\n");
  song.cover = std::string(kPlaceholderCover);
  EXPECT_NE(SongEvent(song).find("\"cover\": \"/cover.jpg?placeholder\"}"),
            std::string::npos);
  EXPECT_NE(SongFileJson(&song).find("\"cover\": \"cover.jpg\"\n}"),
            std::string::npos);
  EXPECT_TRUE(IsCoverKey("0123456789abcdef"));
  for (const char* text :
       {"0123456789ABCDEF", "0123456789abcde", "0123456789abcdef0",
        "0123456789abcdeg", "placeholder", "", "../../../etc/pa"}) {
    EXPECT_FALSE(IsCoverKey(text)) << text;
  }
}

TEST(SongTextTest, ALengthOnlyWhenKnownAfterTheCover) {
  Song song{"A", "", "T", "R"};
  song.cover = "0123456789abcdef";
  const std::string file = SongFileJson(&song, true);
  const std::string event = SongEvent(song);
  song.length = 254;
  EXPECT_EQ(SongFileJson(&song, true),
            "{\n"
            "    \"artist\": \"A\",\n"
            "    \"album\": \"\",\n"
            "    \"title\": \"T\",\n"
            "    \"received\": \"R\",\n"
            "    \"cover\": \"cover.jpg\",\n"
            "    \"length\": 254,\n"
            "    \"idle\": true\n"
            "}\n");
  EXPECT_EQ(SongEvent(song),
            event.substr(0, event.size() - 3) + ", \"length\": 254}\n\n");
  const SongFileRead back = ParseSongFile(SongFileJson(&song));
  EXPECT_EQ(back.song.length, 254);
  song.length = 0;
  EXPECT_EQ(SongFileJson(&song, true), file);
  for (const char* odd : {"-3", "0", "86401", "2.5", "\"254\""}) {
    EXPECT_EQ(ParseSongFile(std::string("{\"title\": \"T\", \"length\": ") +
                            odd + "}")
                  .song.length,
              0)
        << odd;
  }
}

TEST(IsoUtcTest, CalendarDates) {
  EXPECT_EQ(IsoUtc(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(IsoUtc(951782400), "2000-02-29T00:00:00Z");
  EXPECT_EQ(IsoUtc(1700000000), "2023-11-14T22:13:20Z");
  EXPECT_EQ(IsoUtc(4102444799), "2099-12-31T23:59:59Z");
  EXPECT_EQ(IsoUtc(-1), "1969-12-31T23:59:59Z");
}

}  // namespace
}  // namespace receiver
