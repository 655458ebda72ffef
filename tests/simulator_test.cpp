#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/host_interface.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/test_files.h"
#include "tools/playlist.h"
#include "tools/sim_player.h"

namespace {

using player_sim::ParsePlaylist;
using player_sim::PlaylistEntry;
using player_sim::PlayState;
using player_sim::SimPlayer;

std::vector<PlaylistEntry> Parse(const std::string& text) {
  std::string error;
  auto entries = ParsePlaylist(text, error);
  EXPECT_TRUE(entries.has_value()) << error;
  return entries.value_or(std::vector<PlaylistEntry>());
}

std::string ParseError(const std::string& text) {
  std::string error;
  EXPECT_FALSE(ParsePlaylist(text, error).has_value()) << text;
  return error;
}

TEST(PlaylistParser, ReadsTracksPausesAndSkipsComments) {
  const auto entries = Parse(
      "\xEF\xBB\xBF# a comment\r\n"
      "AC/DC\tBack in Black\tAC/DC - Back in Black\t7\r\n"
      "\r\n"
      "pause\t2\n"
      "Les \xC3\x89toiles\t\tCaf\xC3\xA9\n"
      "Foo Bar\tBaz\tFoo Bar - Qux & Co\t12");
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_FALSE(entries[0].is_pause);
  EXPECT_EQ(entries[0].artist, "AC/DC");
  EXPECT_EQ(entries[0].album, "Back in Black");
  EXPECT_EQ(entries[0].title, "AC/DC - Back in Black");
  EXPECT_EQ(entries[0].seconds, 7);
  EXPECT_TRUE(entries[1].is_pause);
  EXPECT_EQ(entries[1].seconds, 2);
  EXPECT_EQ(entries[2].artist, "Les \xC3\x89toiles");
  EXPECT_EQ(entries[2].album, "");
  EXPECT_EQ(entries[2].title, "Caf\xC3\xA9");
  EXPECT_EQ(entries[2].seconds, player_sim::kDefaultSeconds);
  EXPECT_EQ(entries[3].title, "Foo Bar - Qux & Co");
  EXPECT_EQ(entries[3].seconds, 12);
}

TEST(PlaylistParser, RefusesMalformedLinesNamingTheLine) {
  EXPECT_NE(ParseError("a\tb\tc\n# x\nonly two\tfields\n").find("line 3"),
            std::string::npos);
  EXPECT_NE(ParseError("a\tb\tc\td\te\n").find("line 1"), std::string::npos);
  EXPECT_NE(ParseError("a\tb\tc\t0\n").find("seconds"), std::string::npos);
  EXPECT_NE(ParseError("a\tb\tc\t3s\n").find("seconds"), std::string::npos);
  EXPECT_NE(ParseError("a\tb\tc\t86401\n").find("seconds"), std::string::npos);
  EXPECT_NE(ParseError("a\tb\t\t3\n").find("title"), std::string::npos);
  EXPECT_NE(ParseError("a\tb\tCaf\xE9\n").find("UTF-8"), std::string::npos);
  EXPECT_NE(ParseError("a\tb\t\xC3\n").find("UTF-8"), std::string::npos);
  EXPECT_NE(ParseError("pause\tx\n").find("seconds"), std::string::npos);
  EXPECT_NE(ParseError("# nothing\n\npause\t3\n").find("no track"),
            std::string::npos);
  EXPECT_NE(ParseError("").find("no track"), std::string::npos);
}

TEST(PlaylistParser, SecondsAreWholeNumbersInRange) {
  EXPECT_EQ(player_sim::ParseSeconds("1"), 1);
  EXPECT_EQ(player_sim::ParseSeconds("86400"), 86400);
  EXPECT_FALSE(player_sim::ParseSeconds(""));
  EXPECT_FALSE(player_sim::ParseSeconds("-3"));
  EXPECT_FALSE(player_sim::ParseSeconds("99999"));
  EXPECT_FALSE(player_sim::ParseSeconds(" 3"));
}

LRESULT Command(HWND window, LPARAM command, WPARAM argument = 0) {
  return SendMessageA(window, plugin::kHostMessage, argument, command);
}

class SimPlayerAnswers : public testing::Test {
 protected:
  SimPlayerAnswers()
      : player_(player_sim::MakeTracks(
                    Parse("AC/DC\tBack in Black\tAC/DC - Back in Black\n"
                          "Les \xC3\x89toiles\t\xC3\x80 la carte\tCaf\xC3\xA9\n"
                          "AC/DC\tBack in Black\tAC/DC - Back in Black\n")),
                "C:\\settings") {}

  // Asks the player for `field` of `file_name` into a buffer of `length`
  // units followed by guard units.
  std::wstring Ask(const wchar_t* file_name, const wchar_t* field,
                   std::size_t length = 1024) {
    std::vector<wchar_t> buffer(length + 8, L'#');
    plugin::ExtendedFileInfoRequest request{file_name, field, buffer.data(),
                                            length};
    Command(player_.window(), plugin::kCommandExtendedFileInfo,
            reinterpret_cast<WPARAM>(&request));
    for (std::size_t i = length; i < buffer.size(); ++i) {
      EXPECT_EQ(buffer[i], L'#') << "written past the buffer at " << i;
    }
    return std::wstring(buffer.data(), wcsnlen(buffer.data(), length));
  }

  SimPlayer player_;
};

TEST_F(SimPlayerAnswers, IsFoundByClassAndAnswersVersionAndSettingsFolder) {
  ASSERT_NE(player_.window(), nullptr);
  EXPECT_EQ(FindWindowA("Winamp v1.x", nullptr), player_.window());
  EXPECT_NE(Command(player_.window(), plugin::kCommandVersion), 0);
  const auto* folder = reinterpret_cast<const char*>(
      Command(player_.window(), plugin::kCommandSettingsFolder));
  ASSERT_NE(folder, nullptr);
  EXPECT_STREQ(folder, "C:\\settings");
}

TEST_F(SimPlayerAnswers, AnswersPlayStateAndPosition) {
  EXPECT_EQ(Command(player_.window(), plugin::kCommandPlayState), 0);
  player_.SetState(PlayState::kPlaying);
  player_.SetPosition(1);
  EXPECT_EQ(Command(player_.window(), plugin::kCommandPlayState), 1);
  EXPECT_EQ(Command(player_.window(), plugin::kCommandPlaylistPosition), 1);
  player_.SetState(PlayState::kPaused);
  EXPECT_EQ(Command(player_.window(), plugin::kCommandPlayState), 3);
}

TEST_F(SimPlayerAnswers, AnswersTitlesInTheAnsiCodePageAndInUtf16) {
  const auto* first = reinterpret_cast<const char*>(
      Command(player_.window(), plugin::kCommandPlaylistTitle, 0));
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first, "AC/DC - Back in Black");
  const auto* second = reinterpret_cast<const char*>(
      Command(player_.window(), plugin::kCommandPlaylistTitle, 1));
  ASSERT_NE(second, nullptr);
  if (GetACP() == 1252) {
    EXPECT_STREQ(second, "Caf\xE9");
  } else {
    EXPECT_EQ(std::string(second), player_sim::WideToAnsi(L"Caf\u00E9"));
  }
  EXPECT_EQ(Command(player_.window(), plugin::kCommandPlaylistTitle, 3), 0);
  const auto* wide = reinterpret_cast<const wchar_t*>(
      Command(player_.window(), plugin::kCommandPlaylistTitleWide, 1));
  ASSERT_NE(wide, nullptr);
  EXPECT_STREQ(wide, L"Caf\u00E9");
  EXPECT_EQ(Command(player_.window(), plugin::kCommandPlaylistTitleWide, 3), 0);
}

TEST_F(SimPlayerAnswers, AnswersDistinctFileNamesAndTheirMetadata) {
  const auto* first = reinterpret_cast<const wchar_t*>(
      Command(player_.window(), plugin::kCommandPlaylistFileName, 0));
  const auto* second = reinterpret_cast<const wchar_t*>(
      Command(player_.window(), plugin::kCommandPlaylistFileName, 1));
  const auto* third = reinterpret_cast<const wchar_t*>(
      Command(player_.window(), plugin::kCommandPlaylistFileName, 2));
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(Command(player_.window(), plugin::kCommandPlaylistFileName, 3), 0);
  EXPECT_NE(std::wstring(first), std::wstring(third));
  EXPECT_EQ(std::wstring(first).find(L'/'), std::wstring::npos);

  EXPECT_EQ(Ask(second, L"artist"), L"Les \u00C9toiles");
  EXPECT_EQ(Ask(second, L"album"), L"\u00C0 la carte");
  EXPECT_EQ(Ask(first, L"artist"), L"AC/DC");
  EXPECT_EQ(Ask(first, L"genre"), L"");
  EXPECT_EQ(Ask(L"C:\\elsewhere.mp3", L"artist"), L"");
}

TEST_F(SimPlayerAnswers, KeepsMetadataWithinTheGivenLength) {
  const auto* first = reinterpret_cast<const wchar_t*>(
      Command(player_.window(), plugin::kCommandPlaylistFileName, 0));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Ask(first, L"album", 5), L"Back");
  EXPECT_EQ(Ask(first, L"artist", 1), L"");
}

// Runs the simulator (beside this program) with `arguments`; returns its
// exit code and sets `output` to what it wrote to stdout and stderr.
DWORD RunSimulator(const std::string& arguments, std::string& output,
                   DWORD milliseconds = 60000) {
  char own_path[MAX_PATH];
  GetModuleFileNameA(nullptr, own_path, MAX_PATH);
  std::string folder = own_path;
  folder.resize(folder.rfind('\\'));
  std::string command = "\"" + folder + "\\player_sim.exe\" " + arguments;

  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 1 << 16)) return 1000;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process{};
  const BOOL started =
      CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                     nullptr, folder.c_str(), &startup, &process);
  CloseHandle(write_end);
  if (!started) {
    CloseHandle(read_end);
    return 1001;
  }
  // The output stays far below the pipe's buffer, so waiting first cannot
  // block the child, and a hung child cannot hang the test.
  DWORD code = 1002;
  if (WaitForSingleObject(process.hProcess, milliseconds) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  } else {
    TerminateProcess(process.hProcess, 1003);
    WaitForSingleObject(process.hProcess, 5000);
  }
  output.clear();
  char buffer[1024];
  DWORD read = 0;
  while (ReadFile(read_end, buffer, sizeof(buffer), &read, nullptr) &&
         read > 0) {
    output.append(buffer, read);
  }
  CloseHandle(read_end);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class SimulatorProgram : public testing::Test {
 protected:
  void SetUp() override {
    playlist_ = folder_.File("playlist.txt");
    ASSERT_TRUE(
        testing_support::WriteBytes(playlist_,
                                    "Foo Bar\tBaz\tFoo Bar - Qux & Co\t2\n"
                                    "Les \xC3\x89toiles\t\tCaf\xC3\xA9\t2\n"));
  }
  testing_support::TempFolder folder_;
  std::string playlist_;
};

TEST_F(SimulatorProgram, RefusesBadUseWithUsageText) {
  struct Case {
    std::string arguments;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"--plugin gen_trackwire.dll --playlist \"" + playlist_ + "\" --loud",
       "unknown option --loud"},
      {"--plugin gen_trackwire.dll --playlist", "--playlist needs a value"},
      {"--playlist \"" + playlist_ + "\"", "--plugin is missing"},
      {"--plugin gen_trackwire.dll", "--playlist is missing"},
      {"--plugin gen_trackwire.dll --playlist \"" + playlist_ +
           "\" --seconds 0",
       "--seconds needs"},
      {"--plugin gen_trackwire.dll --playlist \"" + playlist_ +
           "\" --start-delay 61",
       "--start-delay needs"},
      {"--plugin missing.dll --playlist \"" + playlist_ + "\"",
       "plug-in not found: missing.dll"},
      {"--plugin gen_trackwire.dll --playlist \"" + folder_.File("none.txt") +
           "\"",
       "cannot read the playlist"},
      {"--plugin gen_trackwire.dll --playlist \"" + playlist_ +
           "\" --settings-dir \"" + folder_.File("none") + "\"",
       "settings folder not found"},
      {"--plugin simulator_no_export.dll --playlist \"" + playlist_ + "\"",
       "does not export winampGetGeneralPurposePlugin"},
  };
  for (const Case& c : cases) {
    std::string output;
    const DWORD code = RunSimulator(c.arguments, output);
    EXPECT_EQ(code, 2u) << c.arguments << "\n" << output;
    EXPECT_TRUE(Contains(output, c.message)) << c.arguments << "\n" << output;
    EXPECT_TRUE(Contains(output, "usage: player_sim")) << c.arguments;
    EXPECT_FALSE(Contains(output, "loaded ")) << c.arguments;
  }
}

TEST_F(SimulatorProgram, RefusesAMalformedPlaylistNamingTheLine) {
  ASSERT_TRUE(testing_support::WriteBytes(playlist_, "a\tb\tc\nbroken\n"));
  std::string output;
  EXPECT_EQ(RunSimulator(
                "--plugin gen_trackwire.dll --playlist \"" + playlist_ + "\"",
                output),
            2u);
  EXPECT_TRUE(Contains(output, "line 2")) << output;
}

TEST_F(SimulatorProgram, HelpShowsUsage) {
  std::string output;
  EXPECT_EQ(RunSimulator("--help", output), 0u);
  EXPECT_TRUE(Contains(output, "usage: player_sim")) << output;
}

// The whole path without a web server: the simulator loads the real DLL,
// plays two tracks, and the DLL reports each to a loopback listener.
TEST_F(SimulatorProgram, PlaysThePlaylistToTheRealPlugin) {
  testing_support::LoopbackListener listener;
  ASSERT_TRUE(listener.ok());
  ASSERT_TRUE(testing_support::WriteSettingsFile(
      folder_, "127.0.0.1", std::to_string(listener.port()),
      "/np?a=%s&b=%s&t=%s"));
  std::string output;
  const DWORD code = RunSimulator(
      "--plugin gen_trackwire.dll --playlist \"" + playlist_ +
          "\" --seconds 3 --settings-dir \"" + folder_.path() + "\"",
      output, 120000);
  EXPECT_EQ(code, 0u) << output;
  EXPECT_TRUE(Contains(output, "WinAmp Tunebeacon v1.0")) << output;
  EXPECT_TRUE(Contains(output, "track 1/2 (3 s): Foo Bar - Qux & Co"))
      << output;
  EXPECT_TRUE(Contains(output, "track 2/2 (3 s): Caf\xC3\xA9")) << output;
  EXPECT_TRUE(Contains(output, "plug-in quit")) << output;

  ASSERT_TRUE(listener.WaitForRequests(2, 5000)) << output;
  const std::vector<std::string> requests = listener.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].substr(0, requests[0].find('\r')),
            "GET /np?a=Foo%20Bar&b=Baz&t=Qux%20%26%20Co HTTP/1.1");
  const std::string cafe = GetACP() == 1252 ? "Caf%E9" : "";
  if (!cafe.empty()) {
    EXPECT_EQ(requests[1].substr(0, requests[1].find('\r')),
              "GET /np?a=Les%20%C9toiles&b=&t=" + cafe + " HTTP/1.1");
  }
}

// With the marker in the path the real DLL sends UTF-8 from the simulator's
// wide answers: Japanese, Arabic and emoji.
TEST_F(SimulatorProgram, PlaysEveryScriptAsUtf8WithTheMarker) {
  ASSERT_TRUE(
      testing_support::WriteBytes(playlist_,
                                  "宇多田ヒカル\t初恋\t宇多田ヒカル - 初恋\n"
                                  "فيروز\t\tنسم\n"
                                  "Confetti\tFireworks\tParty 🎉🔥 Time\n"));
  testing_support::LoopbackListener listener;
  ASSERT_TRUE(listener.ok());
  ASSERT_TRUE(testing_support::WriteSettingsFile(
      folder_, "127.0.0.1", std::to_string(listener.port()),
      "/np?CHARSET=UTF-8&a=%s&b=%s&t=%s"));
  std::string output;
  const DWORD code = RunSimulator(
      "--plugin gen_trackwire.dll --playlist \"" + playlist_ +
          "\" --seconds 2 --settings-dir \"" + folder_.path() + "\"",
      output, 120000);
  EXPECT_EQ(code, 0u) << output;
  ASSERT_TRUE(listener.WaitForRequests(3, 5000)) << output;
  std::vector<std::string> lines;
  for (const std::string& request : listener.requests()) {
    lines.push_back(request.substr(0, request.find('\r')));
  }
  const std::vector<std::string> expected = {
      "GET /np?CHARSET=UTF-8"
      "&a=%E5%AE%87%E5%A4%9A%E7%94%B0%E3%83%92%E3%82%AB%E3%83%AB"
      "&b=%E5%88%9D%E6%81%8B&t=%E5%88%9D%E6%81%8B HTTP/1.1",
      "GET /np?CHARSET=UTF-8&a=%D9%81%D9%8A%D8%B1%D9%88%D8%B2&b="
      "&t=%D9%86%D8%B3%D9%85 HTTP/1.1",
      "GET /np?CHARSET=UTF-8&a=Confetti&b=Fireworks"
      "&t=Party%20%F0%9F%8E%89%F0%9F%94%A5%20Time HTTP/1.1"};
  EXPECT_EQ(lines, expected);
}

}  // namespace
