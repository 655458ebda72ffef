// trackwire_receiver.exe: takes the plug-in's reports on this PC and feeds a
// stream overlay (a page and two files).
#include <exception>
#include <string>
#include <vector>

#include "receiver/code_page.h"
#include "receiver/console.h"
#include "receiver/options.h"
#include "receiver/server.h"
#include "receiver/song_files.h"

int wmain(int argc, wchar_t** argv) {
  using namespace receiver;
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(WideToUtf8(argv[i]));
  const ParsedOptions parsed = ParseOptions(arguments);
  if (!parsed.options) {
    PrintError("trackwire_receiver: " + parsed.error +
               " (--help lists the options)");
    return 2;
  }
  const Options& options = *parsed.options;
  if (options.help) {
    PrintLine(UsageText());
    return 0;
  }
  if (!IsUsableCodePage(options.code_page)) {
    PrintError("trackwire_receiver: code page " +
               std::to_string(options.code_page) +
               " is not available on this PC");
    return 2;
  }
  ServerConfig config;
  config.listen = options.listen;
  config.port = options.port;
  config.format = options.format;
  config.code_page = options.code_page;
  config.allow_hosts = options.allow_hosts;
  const std::string error =
      PrepareFolder(Utf8ToWide(options.folder), config.folder);
  if (!error.empty()) {
    PrintError("trackwire_receiver: " + error +
               ". Name a folder you can write to with --folder.");
    WaitForEnterInOwnWindow();
    return 2;
  }
  TurnOffQuickEditInOwnWindow();
  int exit_code = 1;
  {
    const ConsoleQueue console;
    try {
      exit_code = RunServer(config);
    } catch (const std::exception& failure) {
      PrintError(std::string("trackwire_receiver: ") + failure.what());
    }
  }
  if (exit_code != 0) WaitForEnterInOwnWindow();
  return exit_code;
}
