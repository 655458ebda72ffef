#include "receiver/settings/settings_file.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "receiver/songs/song_outputs.h"
#include "receiver/system/ascii.h"

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

std::vector<std::string> Texts(const SettingsRead& read) {
  std::vector<std::string> texts;
  for (const SettingsProblem& problem : read.problems) {
    texts.push_back(ProblemText(problem));
  }
  return texts;
}

TEST(SettingsFileTest, TheDefaultFileIsTheDefaults) {
  const std::string text = DefaultSettingsText();
  const SettingsRead read = Read(text);
  EXPECT_TRUE(read.problems.empty()) << Texts(read).front();
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
  EXPECT_TRUE(all.problems.empty()) << Texts(all).front();
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
  EXPECT_TRUE(read.problems.empty()) << Texts(read).front();
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
      "line 3, [idle]: minutes is a number of minutes from 0 to 1440, not "
      "\"soon\"",
      "line 5, [file title.txt]: template: unknown field {titel}; the fields "
      "are {artist}, {album} and {title}",
      "line 6, [sound]: unknown section; the sections are [file NAME], "
      "[idle], [history], [chat], [receiver], [covers], [icecast], "
      "[shoutcast], [listenbrainz], [lastfm], [webhook NAME], [discord] and "
      "[lyrics]",
      "line 10, [history]: unknown setting \"colour\"",
      "line 11, [history]: expected \"name = value\" or a [section]",
      "line 12, [file a/b.txt]: a file name in the song folder has none of "
      "\\ / : * ? \" < > |",
      "line 13, [file now_playing.json]: the receiver keeps now_playing.json "
      "itself"};
  EXPECT_EQ(Texts(read), expected);
  // The page puts each beside its field: a key's problem names the key.
  EXPECT_EQ(read.problems[1],
            (SettingsProblem{3, "[idle]", "minutes",
                             "minutes is a number of minutes from 0 to 1440, "
                             "not \"soon\""}));
  EXPECT_EQ(read.problems[2].key, "template");
  EXPECT_EQ(read.problems[3].key, "");
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

TEST(SettingsFileTest, UnicodeFilesOfNotepadRead) {
  // "[idle]\ntext = Café 𝄞" as UTF-16, both byte orders.
  const std::u16string text = u"[idle]\r\ntext = Caf\u00E9 \U0001D11E\r\n";
  std::string little = "\xFF\xFE", big = "\xFE\xFF";
  for (const char16_t unit : text) {
    little += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    big += {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)};
  }
  for (const std::string& bytes : {little, big}) {
    const SettingsRead read = Read(bytes);
    EXPECT_TRUE(read.problems.empty()) << Texts(read).front();
    EXPECT_EQ(read.settings.idle_text, "Caf\xC3\xA9 \xF0\x9D\x84\x9E");
  }
  EXPECT_EQ(SettingsText(little, nullptr),
            "[idle]\r\ntext = Caf\xC3\xA9 \xF0\x9D\x84\x9E\r\n");
}

TEST(SettingsFileTest, FileNamesThatAreNoSongFiles) {
  for (const char* name : {"con",
                           "CON.txt",
                           "Nul.json",
                           "aux.tar.gz",
                           "PRN",
                           "com1.txt",
                           "COM0",
                           "lpt9.log",
                           "COM1 .txt",
                           "CONIN$",
                           "conout$.txt",
                           "COM\xC2\xB9.txt",
                           "NOW_PL~1.JSO",
                           "TITLE~12.TXT",
                           "a~1",
                           "listens.jsonl",
                           "Cover.JPG",
                           "covers",
                           "LOG",
                           "history.json",
                           "history.txt",
                           "now_playing.json",
                           "trackwire_receiver.ini",
                           "title.txt.tmp",
                           "History.json.BAD",
                           "title.txt.",
                           "title. "}) {
    const SettingsRead read =
        Read("[chat]\n[file " + std::string(name) + "]\ntemplate = {title}\n");
    ASSERT_EQ(read.problems.size(), 1u) << name;
    const std::string problem = ProblemText(read.problems[0]);
    EXPECT_EQ(problem.rfind(
                  "line 2, [file " + std::string(TrimBlanks(name)) + "]: ", 0),
              0u)
        << problem;
    EXPECT_TRUE(read.settings.files.empty()) << name;
  }
  EXPECT_EQ(Texts(Read("[file COM1.txt]\n"))[0],
            "line 1, [file COM1.txt]: COM1 is a device in Windows, not a file");
  for (const char* name :
       {"COM10.txt", "console.txt", "nul1", "lpt.txt", "a~b.txt", "song~.txt",
        "history.json.txt", "my log", "cover.jpg.txt"}) {
    const SettingsRead read = Read("[file " + std::string(name) + "]\n");
    EXPECT_TRUE(read.problems.empty()) << name << ": " << Texts(read)[0];
  }
}

TEST(SettingsFileTest, BoundsAtInsideAndOutside) {
  struct Case {
    const char* section;
    const char* key;
    const char* value;
    bool taken;
  };
  const Case cases[] = {
      {"idle", "minutes", "0", true},
      {"idle", "minutes", "1440", true},
      {"idle", "minutes", "1439.9", true},
      {"idle", "minutes", "1440.1", false},
      {"idle", "minutes", "1441", false},
      {"idle", "minutes", "-1", false},
      {"history", "lines", "0", true},
      {"history", "lines", "1", true},
      {"history", "lines", "499", true},
      {"history", "lines", "500", true},
      {"history", "lines", "501", false},
      {"history", "lines", "-1", false},
      {"receiver", "port", "0", false},
      {"receiver", "port", "1", true},
      {"receiver", "port", "2", true},
      {"receiver", "port", "65534", true},
      {"receiver", "port", "65535", true},
      {"receiver", "port", "65536", false},
      {"shoutcast", "sid", "0", false},
      {"shoutcast", "sid", "1", true},
      {"shoutcast", "sid", "2", true},
      {"shoutcast", "sid", "998", true},
      {"shoutcast", "sid", "999", true},
      {"shoutcast", "sid", "1000", false},
      {"shoutcast", "version", "0", false},
      {"shoutcast", "version", "1", true},
      {"shoutcast", "version", "2", true},
      {"shoutcast", "version", "3", false},
  };
  for (const Case& c : cases) {
    const SettingsRead read =
        Read("[" + std::string(c.section) + "]\nurl = http://sc\n" + c.key +
             " = " + c.value + "\n");
    const std::string what =
        std::string(c.section) + " " + c.key + " = " + c.value;
    // [idle], [history] and [receiver] take no url: one problem more.
    const std::size_t url = std::string(c.section) == "shoutcast" ? 0 : 1;
    EXPECT_EQ(read.problems.size(), url + (c.taken ? 0 : 1)) << what;
    const ReceiverSettings& s = read.settings;
    const double value = std::strtod(c.value, nullptr);
    double got = 0, otherwise = 0;
    if (std::string(c.key) == "minutes") {
      got = s.idle_minutes;
    } else if (std::string(c.key) == "lines") {
      got = s.history_lines;
      otherwise = ReceiverSettings().history_lines;
    } else if (std::string(c.key) == "port") {
      got = s.port.value_or(0);
    } else {
      ASSERT_TRUE(s.targets.shoutcast) << what;
      got = std::string(c.key) == "sid" ? s.targets.shoutcast->sid
                                        : s.targets.shoutcast->version;
      otherwise = 1;
    }
    EXPECT_DOUBLE_EQ(got, c.taken ? value : otherwise) << what;
  }
}

TEST(SettingsFileTest, DiscordsIdAndImageOrTheOnesBefore) {
  const SettingsRead read = Read(
      "[discord]\napplication = 12345678901234567\nimage = trackwire-logo\n");
  EXPECT_TRUE(read.problems.empty()) << ProblemsText(read.problems);
  EXPECT_EQ(read.settings.discord.application, "12345678901234567");
  EXPECT_EQ(read.settings.discord.image, "trackwire-logo");
  const SettingsRead bad = Read(
      "[Discord]\napplication = 1234567890123456\nimage = my logo\n"
      "application = 123456789012345678901\nenabled = yes\n",
      read.settings);
  ASSERT_EQ(bad.problems.size(), 4u);
  EXPECT_EQ(ProblemText(bad.problems[0]),
            "line 2, [Discord]: application is the Application ID from "
            "Discord's developer portal, a number of 17 to 20 digits, not "
            "\"1234567890123456\"");
  EXPECT_EQ(bad.settings.discord, read.settings.discord);
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

TEST(SongOutputsTest, FormatWinsForNowPlayingInAnyCase) {
  const Song song{"A", "", "Caf\xC3\xA9", ""};
  ReceiverSettings settings =
      Read("[file Now_Playing.TXT]\ntemplate = {title}\n[file t.txt]\n")
          .settings;
  const ReceiverSettings listed = settings;
  ApplyFormat(settings, std::string("{TITLE}"));
  EXPECT_EQ(SongFiles(settings, std::string("{TITLE}"), &song, false)[0].bytes,
            "CAF\xC3\x89");
  // Not a template: as written, {artist} and {title} replaced, as it always
  // was without a settings file.
  settings = listed;
  const std::string literal = "{title} \\n{year} by {artist}";
  ApplyFormat(settings, literal);
  EXPECT_EQ(SongFiles(settings, literal, &song, false)[0].bytes,
            "Caf\xC3\xA9 \\n{year} by A");
  EXPECT_EQ(NowPlayingLine(settings, literal, song),
            "Caf\xC3\xA9 \\n{year} by A");
  EXPECT_EQ(SongFiles({}, literal, &song, false)[0].bytes,
            "Caf\xC3\xA9 \\n{year} by A");
}

TEST(SongOutputsTest, NoNulInAFile) {
  constexpr char kText[] =
      "[file a.txt]\ntemplate = {title}\0!\nencoding = utf-16le\n"
      "[idle]\ntext = off\0air\n";
  const Song song{"A", "", "T", ""};
  const ReceiverSettings settings =
      Read(std::string(kText, sizeof kText - 1)).settings;
  EXPECT_EQ(SongFiles(settings, std::nullopt, &song, false)[0].bytes,
            std::string("\xFF\xFET\0!\0", 6));
  EXPECT_EQ(SongFiles(settings, std::nullopt, &song, true)[0].bytes,
            std::string("\xFF\xFEo\0f\0f\0a\0i\0r\0", 14));
  SongSettings old;
  old.idle_text = std::string("off\0air", 7);
  EXPECT_EQ(SongFiles(old, std::nullopt, &song, true)[0].bytes, "offair");
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
