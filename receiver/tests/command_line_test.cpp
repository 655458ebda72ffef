#include "receiver/options/command_line.h"

#include <gtest/gtest.h>

namespace receiver {
namespace {

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

// That every argument comes back as it was is tested under Wine, through
// the system's own CommandLineToArgvW (tray_test).

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
