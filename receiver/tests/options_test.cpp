#include "receiver/options/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace receiver {
namespace {

TEST(OptionsTest, DefaultsMatchThePlugInsDefaults) {
  const ParsedOptions parsed = ParseOptions({});
  ASSERT_TRUE(parsed.options);
  EXPECT_EQ(parsed.options->port, 80);
  EXPECT_EQ(parsed.options->listen, "127.0.0.1");
  EXPECT_EQ(parsed.options->folder, "");
  EXPECT_FALSE(parsed.options->format);
  EXPECT_EQ(parsed.options->code_page, 0u);
  EXPECT_FALSE(parsed.options->help);
  EXPECT_FALSE(parsed.options->console);
}

TEST(OptionsTest, EveryOption) {
  const ParsedOptions parsed =
      ParseOptions({"--port", "8080", "--listen", "0.0.0.0", "--folder",
                    "C:\\Overlay", "--format", "{title} ({artist})",
                    "--encoding", "windows-1251", "--help", "--console"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->port, 8080);
  EXPECT_EQ(parsed.options->listen, "0.0.0.0");
  EXPECT_EQ(parsed.options->folder, "C:\\Overlay");
  EXPECT_EQ(parsed.options->format, "{title} ({artist})");
  EXPECT_EQ(parsed.options->code_page, 1251u);
  EXPECT_TRUE(parsed.options->help);
  EXPECT_TRUE(parsed.options->console);
}

TEST(OptionsTest, MistakesAreNamed) {
  EXPECT_EQ(ParseOptions({"--prot", "80"}).error, "unknown option --prot");
  EXPECT_EQ(ParseOptions({"--port"}).error, "--port needs a value");
  // Values that wrap around to a valid port in 16 or 32 bits stay refused.
  for (const char* port : {"0", "65536", "8o", "", "-1", "123456", "65616",
                           "4294967376", "18446744073709551696", "+80"}) {
    const ParsedOptions parsed = ParseOptions({"--port", port});
    EXPECT_FALSE(parsed.options) << port;
    EXPECT_NE(parsed.error.find("1 to 65535"), std::string::npos) << port;
  }
  EXPECT_TRUE(ParseOptions({"--port", "65535"}).options);
  EXPECT_FALSE(ParseOptions({"--encoding", "latin1"}).options);
  EXPECT_FALSE(ParseOptions({"--folder", ""}).options);
}

TEST(OptionsTest, AllowHostRepeats) {
  const ParsedOptions parsed = ParseOptions(
      {"--allow-host", "studio-pc.example", "--allow-host", "OVERLAY"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->allow_hosts,
            (std::vector<std::string>{"studio-pc.example", "OVERLAY"}));
  EXPECT_TRUE(ParseOptions({}).options->allow_hosts.empty());
  for (const char* name : {"", "host:80", "http://host/", "a b"}) {
    const ParsedOptions bad = ParseOptions({"--allow-host", name});
    EXPECT_FALSE(bad.options) << name;
    EXPECT_NE(bad.error.find("--allow-host takes a host name"),
              std::string::npos);
  }
  EXPECT_EQ(ParseOptions({"--allow-host"}).error, "--allow-host needs a value");
}

TEST(OptionsTest, CodePageNames) {
  EXPECT_EQ(ParseCodePage("UTF-8"), 65001u);
  EXPECT_EQ(ParseCodePage("utf8"), 65001u);
  EXPECT_EQ(ParseCodePage("CP1250"), 1250u);
  EXPECT_EQ(ParseCodePage("932"), 932u);
  EXPECT_FALSE(ParseCodePage("0"));
  EXPECT_FALSE(ParseCodePage("windows-"));
  EXPECT_FALSE(ParseCodePage("cp12x"));
}

// The log-on start's arguments: whatever options were parsed, the same
// options parse back from them, but the folder as the full path given and
// without --console; a format that starts with dashes stays a value.
TEST(OptionArgumentsTest, TheParsedOptionsComeBack) {
  const std::vector<std::vector<std::string>> command_lines = {
      {},
      {"--format", "--console"},
      {"--console", "--format", "--port", "--port", "8080"},
      {"--port", "81", "--listen", "0.0.0.0", "--folder", "rel", "--format", "",
       "--encoding", "utf-8", "--allow-host", "a.example", "--allow-host",
       "b.example", "--key", "--key", "--console"},
      {"--encoding", "cp1251", "--format", "{title} -- \"{artist}\"", "--key",
       "k e y"},
  };
  for (const std::vector<std::string>& command_line : command_lines) {
    const ParsedOptions parsed = ParseOptions(command_line);
    ASSERT_TRUE(parsed.options) << parsed.error;
    const std::vector<std::string> arguments =
        OptionArguments(*parsed.options, "D:\\Song Files");
    EXPECT_EQ(std::count(arguments.begin(), arguments.end(), "--console"),
              parsed.options->format == "--console" ? 1 : 0);
    const ParsedOptions again = ParseOptions(arguments);
    ASSERT_TRUE(again.options) << again.error;
    const Options& want = *parsed.options;
    const Options& got = *again.options;
    EXPECT_EQ(got.port, want.port);
    EXPECT_EQ(got.listen, want.listen);
    EXPECT_EQ(got.folder, "D:\\Song Files");
    EXPECT_EQ(got.format, want.format);
    EXPECT_EQ(got.code_page, want.code_page);
    EXPECT_EQ(got.allow_hosts, want.allow_hosts);
    EXPECT_EQ(got.key, want.key);
    EXPECT_FALSE(got.console);
    EXPECT_FALSE(got.help);
  }
  const ParsedOptions plain = ParseOptions({"--console"});
  EXPECT_EQ(OptionArguments(*plain.options, "C:\\x"),
            (std::vector<std::string>{"--folder", "C:\\x"}));
}

}  // namespace
}  // namespace receiver
