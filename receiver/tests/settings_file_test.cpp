#include "receiver/text/settings_file.h"

#include <gtest/gtest.h>

#include "receiver/text/song_outputs.h"

namespace receiver {
namespace {

// Windows-1252 for the few bytes these tests use.
std::string FromAnsi(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    if (c == '\xE9') {
      out += "\xC3\xA9";
    } else {
      out += c;
    }
  }
  return out;
}

SettingsRead Read(std::string_view text, const ReceiverSettings& before = {}) {
  return ReadSettings(text, FromAnsi, before);
}

TEST(SettingsFileTest, TheDefaultFileIsTheDefaults) {
  const std::string text = DefaultSettingsText();
  const SettingsRead read = Read(text);
  EXPECT_TRUE(read.problems.empty()) << read.problems.front();
  EXPECT_TRUE(read.settings.files.empty());
  EXPECT_EQ(read.settings.idle_minutes, 0);
  EXPECT_EQ(read.settings.history_lines, 10);
  EXPECT_EQ(read.settings.chat_idle, "Nothing is playing right now");
  EXPECT_NE(text.find("\r\n;minutes = 0 "), std::string::npos);
  // Each setting, taken out of its comment, reads without a problem.
  std::string uncommented;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ';' && (i == 0 || text[i - 1] == '\n') &&
        text.compare(i + 1, 1, " ") != 0) {
      continue;
    }
    uncommented += text[i];
  }
  const SettingsRead all = Read(uncommented);
  EXPECT_TRUE(all.problems.empty()) << all.problems.front();
  ASSERT_EQ(all.settings.files.size(), 1u);
  EXPECT_EQ(all.settings.files[0].name, "now_playing.txt");
  EXPECT_EQ(all.settings.files[0].idle, "");
  EXPECT_EQ(all.settings.port, 80);
}

TEST(SettingsFileTest, TheFormatOfTheRequest) {
  const SettingsRead read = Read(
      "\xEF\xBB\xBF[file now_playing.txt]\r\n"
      "template = {artist} - {title}\r\n"
      "encoding = utf-16le            ; utf-8, utf-8-bom or utf-16le\r\n"
      "[file title.txt]\r\ntemplate = {title}\r\nidle = \"  off  \"\r\n"
      "[idle]\r\nminutes = 0.5   ; half a minute\r\n"
      "text =                      ; nothing\r\n"
      "[history]\nlines = 3\nlog = yes\n"
      "[chat]\ntemplate = {artist}; {title}\nidle = Silence\n");
  EXPECT_TRUE(read.problems.empty()) << read.problems.front();
  const ReceiverSettings& s = read.settings;
  ASSERT_EQ(s.files.size(), 2u);
  EXPECT_EQ(s.files[0].encoding, FileEncoding::kUtf16Le);
  EXPECT_EQ(s.files[1].idle, "  off  ");
  EXPECT_DOUBLE_EQ(s.idle_minutes, 0.5);
  EXPECT_EQ(s.idle_text, "");
  EXPECT_EQ(s.history_lines, 3);
  EXPECT_TRUE(s.log);
  EXPECT_EQ(s.chat_template, "{artist}; {title}");
  EXPECT_EQ(s.chat_idle, "Silence");
}

TEST(SettingsFileTest, ProblemsNameTheirLineAndKeepTheRest) {
  ReceiverSettings before;
  before.idle_minutes = 5;
  FileSettings title;
  title.name = "title.txt";
  title.template_text = "{TITLE}";
  title.parts = *ParseTemplate("{TITLE}").parts;
  before.files.push_back(title);
  const SettingsRead read = Read(
      "lines = 4\n"
      "[idle]\nminutes = soon\n"
      "[file title.txt]\ntemplate = {titel}\n"
      "[sound]\nvolume = 3\n"
      "[history]\nlines = 7\ncolour = red\nno equals sign\n"
      "[file a/b.txt]\n[file now_playing.json]\n",
      before);
  const std::vector<std::string> expected = {
      "line 1: \"lines\" comes before any [section]",
      "line 3: [idle] minutes is a number of minutes from 0 to 1440, not "
      "\"soon\"",
      "line 5: template: unknown field {titel}; the fields are {artist}, "
      "{album} and {title}",
      "line 6: unknown section [sound]; the sections are [file NAME], [idle], "
      "[history], [chat], [receiver], [covers], [icecast], [shoutcast], "
      "[listenbrainz] and [webhook NAME]",
      "line 10: unknown setting \"colour\" in [history]",
      "line 11: expected \"name = value\" or a [section]",
      "line 12: a file name in the song folder has none of \\ / : * ? \" < > "
      "|",
      "line 13: now_playing.json is the receiver's own file"};
  EXPECT_EQ(read.problems, expected);
  // A bad value keeps what was in use; good lines apply.
  EXPECT_EQ(read.settings.idle_minutes, 5);
  ASSERT_EQ(read.settings.files.size(), 1u);
  EXPECT_EQ(read.settings.files[0].template_text, "{TITLE}");
  EXPECT_EQ(read.settings.history_lines, 7);
  // A line taken out goes back to its default.
  EXPECT_EQ(Read("[chat]\n", read.settings).settings.idle_minutes, 0);
}

TEST(SettingsFileTest, AnsiCodePageWhenNotUtf8) {
  const SettingsRead read = Read("[idle]\ntext = Caf\xE9\n");
  EXPECT_EQ(read.settings.idle_text, "Caf\xC3\xA9");
  EXPECT_EQ(Read("[idle]\ntext = Caf\xC3\xA9\n").settings.idle_text,
            "Caf\xC3\xA9");
}

TEST(SongOutputsTest, FiveFilesOfOldWithoutFileSections) {
  const Song song{"Les \xC3\x89toiles", "", "Caf\xC3\xA9",
                  "2024-05-01T20:15:00Z"};
  const std::vector<OutputFile> files =
      SongFiles(ReceiverSettings(), std::nullopt, &song, false);
  ASSERT_EQ(files.size(), 5u);
  EXPECT_EQ(files[0].name, "now_playing.txt");
  EXPECT_EQ(files[0].bytes, "Les \xC3\x89toiles - Caf\xC3\xA9");
  EXPECT_EQ(files[1].bytes, SongFileJson(&song));
  EXPECT_EQ(files[3].bytes, "");
  const std::vector<OutputFile> idle = SongFiles(
      Read("[idle]\ntext = Off air\n").settings, std::nullopt, &song, true);
  EXPECT_EQ(idle[0].bytes, "Off air");
  EXPECT_NE(idle[1].bytes.find("\"idle\": true"), std::string::npos);
  // --format is a template; one that is not stays as written.
  EXPECT_EQ(
      SongFiles({}, std::string("{TITLE}\\n{artist}"), &song, false)[0].bytes,
      "CAF\xC3\x89\r\nLes \xC3\x89toiles");
  EXPECT_EQ(SongFiles({}, std::string("{title} {year}"), &song, false)[0].bytes,
            "Caf\xC3\xA9 {year}");
}

TEST(SongOutputsTest, ListedFilesEncodingsAndChat) {
  ReceiverSettings settings =
      Read(
          "[file np.txt]\ntemplate = {title}\\n{artist}\nencoding = "
          "utf-8-bom\n[file now_playing.txt]\ntemplate = {title}\nidle = "
          "-\n[idle]\ntext = Off\n")
          .settings;
  ApplyFormat(settings, std::string("{ARTIST}"));
  const Song song{"Bj\xC3\xB6rk", "", "Jóga", ""};
  const std::vector<OutputFile> files =
      SongFiles(settings, std::string("{ARTIST}"), &song, false);
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].bytes,
            "\xEF\xBB\xBF"
            "J\xC3\xB3ga\r\nBj\xC3\xB6rk");
  EXPECT_EQ(files[1].bytes, "BJ\xC3\x96RK");
  EXPECT_EQ(files[2].name, "now_playing.json");
  const std::vector<OutputFile> idle =
      SongFiles(settings, std::nullopt, &song, true);
  EXPECT_EQ(idle[0].bytes,
            "\xEF\xBB\xBF"
            "Off");
  EXPECT_EQ(idle[1].bytes, "-");
  EXPECT_EQ(NowPlayingLine(settings, std::nullopt, song), "BJ\xC3\x96RK");

  EXPECT_EQ(ChatLine(settings, nullptr, false), "Nothing is playing right now");
  EXPECT_EQ(ChatLine(settings, &song, true), "Nothing is playing right now");
  EXPECT_EQ(ChatLine(settings, &song, false), "Bj\xC3\xB6rk - J\xC3\xB3ga");
  Song long_song = song;
  long_song.title = std::string(500, 'x');
  const std::string line = ChatLine(settings, &long_song, false);
  // 399 characters, "ö" of two bytes among them, and "…" of three.
  EXPECT_EQ(line.size(), 400u + 3u);
  EXPECT_EQ(line.substr(line.size() - 3), "\xE2\x80\xA6");
}

}  // namespace
}  // namespace receiver
