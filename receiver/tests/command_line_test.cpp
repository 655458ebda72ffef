#include "receiver/text/command_line.h"

#include <gtest/gtest.h>

namespace receiver {
namespace {

// How Windows programs take the arguments after the program name apart (the
// C runtime's rules, which CommandLineToArgvW shares for these inputs).
std::vector<std::wstring> SplitArguments(std::wstring_view line) {
  std::vector<std::wstring> arguments;
  std::size_t i = 0;
  const auto blank = [&](std::size_t at) {
    return line[at] == L' ' || line[at] == L'\t';
  };
  while (true) {
    while (i < line.size() && blank(i)) ++i;
    if (i == line.size()) return arguments;
    std::wstring argument;
    bool quoted = false;
    while (i < line.size() && (quoted || !blank(i))) {
      if (line[i] == L'\\') {
        std::size_t count = 0;
        while (i < line.size() && line[i] == L'\\') ++count, ++i;
        if (i < line.size() && line[i] == L'"') {
          argument.append(count / 2, L'\\');
          if (count % 2 == 1) argument += line[i++];
        } else {
          argument.append(count, L'\\');
        }
      } else if (line[i] == L'"') {
        quoted = !quoted;
        ++i;
      } else {
        argument += line[i++];
      }
    }
    arguments.push_back(argument);
  }
}

TEST(QuoteArgumentTest, QuotesOnlyWhatNeedsThem) {
  EXPECT_EQ(QuoteArgument(L"--folder"), L"--folder");
  EXPECT_EQ(QuoteArgument(L"D:\\"), L"D:\\");
  EXPECT_EQ(QuoteArgument(L"C:\\Users\\Public\\Documents\\WinAmp Tunebeacon"),
            L"\"C:\\Users\\Public\\Documents\\WinAmp Tunebeacon\"");
  EXPECT_EQ(QuoteArgument(L""), L"\"\"");
  EXPECT_EQ(QuoteArgument(L"D:\\My Songs\\"), L"\"D:\\My Songs\\\\\"");
  EXPECT_EQ(QuoteArgument(L"say \"hi\""), L"\"say \\\"hi\\\"\"");
  EXPECT_EQ(QuoteArgument(L"a\\\"b"), L"\"a\\\\\\\"b\"");
  EXPECT_EQ(QuoteArgument(L"tab\there"), L"\"tab\there\"");
}

TEST(QuoteArgumentTest, EveryArgumentComesBackAsItWas) {
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
  const std::wstring line = CommandLine(L"C:\\p.exe", arguments);
  const std::wstring program = L"\"C:\\p.exe\"";
  ASSERT_EQ(line.substr(0, program.size()), program);
  EXPECT_EQ(SplitArguments(line.substr(program.size())), arguments);
}

TEST(CommandLineTest, TheLogOnValueThatSetupWritesToo) {
  EXPECT_EQ(CommandLine(L"C:\\Program Files (x86)\\WinAmp Tunebeacon "
                        L"Receiver\\trackwire_receiver.exe",
                        {L"--folder",
                         L"C:\\Users\\Public\\Documents\\WinAmp "
                         L"Tunebeacon"}),
            L"\"C:\\Program Files (x86)\\WinAmp Tunebeacon "
            L"Receiver\\trackwire_receiver.exe\" --folder "
            L"\"C:\\Users\\Public\\Documents\\WinAmp Tunebeacon\"");
  EXPECT_EQ(CommandLine(L"C:\\r.exe", {}), L"\"C:\\r.exe\"");
}

TEST(ProgramOfCommandTest, QuotedOrUpToTheFirstBlank) {
  EXPECT_EQ(ProgramOfCommand(L"\"C:\\Program Files\\r.exe\" --folder \"x y\""),
            L"C:\\Program Files\\r.exe");
  EXPECT_EQ(ProgramOfCommand(L"C:\\r.exe --folder x"), L"C:\\r.exe");
  EXPECT_EQ(ProgramOfCommand(L"C:\\r.exe\t--port 81"), L"C:\\r.exe");
  EXPECT_EQ(ProgramOfCommand(L"C:\\r.exe"), L"C:\\r.exe");
  EXPECT_EQ(ProgramOfCommand(L"\"C:\\open ended"), L"C:\\open ended");
  EXPECT_EQ(ProgramOfCommand(L""), L"");
}

}  // namespace
}  // namespace receiver
