// The log-on start's command line, taken apart by the system's own splitter.
#include <windows.h>

#include <gtest/gtest.h>

#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "receiver/icon/autostart.h"
#include "receiver/options/command_line.h"
#include "receiver/options/options.h"
#include "receiver/system/code_page.h"

namespace receiver {
namespace {

const std::wstring kProgram =
    L"C:\\Program Files\\WinAmp Tunebeacon Receiver\\trackwire_receiver.exe";

std::vector<std::wstring> SystemSplit(const std::wstring& command) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(command.c_str(), &count);
  if (arguments == nullptr) return {L"(CommandLineToArgvW failed)"};
  std::vector<std::wstring> out(arguments, arguments + count);
  LocalFree(arguments);
  return out;
}

TEST(LogOnCommandTest, EveryArgumentComesBackAsItWas) {
  const std::vector<std::wstring> arguments = {L"--folder",
                                               L"D:\\My Songs\\",
                                               L"\\\\server\\share\\",
                                               L"",
                                               L"\"",
                                               L"\\\"",
                                               L"a b\\\\",
                                               L"x\\\\\\\"y z",
                                               L"C:\\Stra\u00dfe \u97f3\u697d",
                                               L"  ",
                                               L"end\\"};
  std::vector<std::wstring> want = {kProgram};
  want.insert(want.end(), arguments.begin(), arguments.end());
  EXPECT_EQ(SystemSplit(CommandLine(kProgram, arguments)), want);
}

// The log-on start runs the options that were parsed, whatever they look
// like: a format that starts with dashes stays the format.
TEST(LogOnCommandTest, TheParsedOptionsComeBackThroughTheSystem) {
  const std::vector<std::vector<std::string>> command_lines = {
      {"--format", "--console"},
      {"--port", "8081", "--folder", "x", "--console", "--format",
       "{title} \"\\\" \\", "--encoding", "utf-8", "--listen", "0.0.0.0",
       "--allow-host", "studio.example", "--key", "s e\\\"cret\\"},
  };
  const std::wstring folder = L"C:\\Users\\Public\\Song Files\\";
  for (const std::vector<std::string>& command_line : command_lines) {
    const ParsedOptions parsed = ParseOptions(command_line);
    ASSERT_TRUE(parsed.options) << parsed.error;
    const std::vector<std::wstring> split =
        SystemSplit(AutostartCommand(kProgram, *parsed.options, folder));
    ASSERT_FALSE(split.empty());
    EXPECT_EQ(split[0], kProgram);
    std::vector<std::string> arguments;
    for (std::size_t i = 1; i < split.size(); ++i) {
      arguments.push_back(WideToUtf8(split[i]));
    }
    const ParsedOptions again = ParseOptions(arguments);
    ASSERT_TRUE(again.options) << again.error;
    EXPECT_EQ(again.options->port, parsed.options->port);
    EXPECT_EQ(again.options->listen, parsed.options->listen);
    EXPECT_EQ(again.options->folder, WideToUtf8(folder));
    EXPECT_EQ(again.options->format, parsed.options->format);
    EXPECT_EQ(again.options->code_page, parsed.options->code_page);
    EXPECT_EQ(again.options->allow_hosts, parsed.options->allow_hosts);
    EXPECT_EQ(again.options->key, parsed.options->key);
    EXPECT_FALSE(again.options->console);
  }
}

// The value as it is stored: a REG_SZ of the command's UTF-16 and its
// terminating null, nothing more.
TEST(LogOnCommandTest, TheStoredBytes) {
  ASSERT_EQ(RemoveAutostart(), "");
  const std::wstring command =
      CommandLine(kProgram, {L"--folder", L"C:\\Stra\u00dfe"});
  ASSERT_EQ(WriteAutostart(command), "");
  BYTE stored[1024] = {};
  DWORD bytes = sizeof(stored);
  DWORD type = 0;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunValueName,
                         RRF_RT_ANY | RRF_NOEXPAND, &type, stored, &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  std::vector<BYTE> want((command.size() + 1) * sizeof(wchar_t), 0);
  std::memcpy(want.data(), command.c_str(), want.size());
  EXPECT_EQ(std::vector<BYTE>(stored, stored + bytes), want);
  EXPECT_EQ(RemoveAutostart(), "");
}

}  // namespace
}  // namespace receiver
