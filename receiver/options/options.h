#pragma once

#include <optional>
#include <string>
#include <vector>

namespace receiver {

struct Options {
  int port = 80;
  std::string listen = "127.0.0.1";
  std::string folder;  // empty: the current folder
  std::optional<std::string> format;
  unsigned code_page = 0;                // 0: the system's ANSI code page
  std::vector<std::string> allow_hosts;  // host names besides this PC's own
  std::optional<std::string> key;        // what a report's key= must be
  bool help = false;
  bool console = false;  // a console window instead of the icon
  // Given on the command line, which wins over the settings file.
  bool port_given = false;
  bool listen_given = false;
};

struct ParsedOptions {
  std::optional<Options> options;
  std::string error;  // when there are no options
};

// The command line after the program name, as UTF-8.
ParsedOptions ParseOptions(const std::vector<std::string>& arguments);

// A code page as a number ("1251"), "cp1251", "windows-1251" or "utf-8";
// nothing for anything else.
std::optional<unsigned> ParseCodePage(const std::string& text);

// The options again as arguments that ParseOptions takes back to the same
// options, with `folder` (a full path) for the folder: what the log-on start
// runs. Never --console or --help.
std::vector<std::string> OptionArguments(const Options& options,
                                         const std::string& folder);

std::string UsageText();

}  // namespace receiver
