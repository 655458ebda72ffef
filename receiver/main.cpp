// trackwire_receiver.exe: takes the plug-in's reports on this PC and feeds a
// stream overlay (a page and the song files). A Windows program: an icon in
// the notification area, or with --console the console program it was.
#include <windows.h>

#include <atomic>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/icon/instance.h"
#include "receiver/icon/song_board.h"
#include "receiver/icon/tray.h"
#include "receiver/server/server.h"
#include "receiver/songs/song_files.h"
#include "receiver/system/code_page.h"
#include "receiver/system/console.h"
#include "receiver/system/thread.h"
#include "receiver/text/addresses.h"
#include "receiver/text/command_line.h"
#include "receiver/text/options.h"
#include "receiver/text/tray_text.h"

namespace receiver {
namespace {

// The server's thread waits this long at most for the files at the end.
constexpr DWORD kServerEndWaitMs = 8000;

// A message for the person who started the program: where output goes, or
// else in a message box.
void Tell(const std::string& text, bool error) {
  if (HasOutputOrParentConsole()) {
    error ? PrintError(text) : PrintLine(text);
  } else if (error) {
    ShowError(text);
  } else {
    MessageBoxW(nullptr, Utf8ToWide(text).c_str(),
                L"WinAmp Tunebeacon Receiver", MB_OK | MB_ICONINFORMATION);
  }
}

std::wstring ThisProgram() {
  std::wstring path(MAX_PATH, L'\0');
  while (true) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(),
                                            static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// What the log-on start runs: this program with the options it has now,
// but the folder as a full path and no --console.
std::wstring AutostartCommand(const std::wstring& program,
                              const std::wstring& folder, int argc,
                              wchar_t** argv) {
  std::vector<std::wstring> arguments = {L"--folder", folder};
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view argument = argv[i];
    if (argument == L"--console") continue;
    if (argument == L"--folder") {
      ++i;
      continue;
    }
    arguments.emplace_back(argument);
  }
  return CommandLine(program, arguments);
}

int RunInConsole(const ServerConfig& config) {
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

// What the server's thread and the tray's share: owned by both, since a
// server that does not end in time is left behind at exit.
struct TrayRun {
  ServerConfig config;
  SongBoard board;
  ServerStop stop;
  HANDLE settled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> listening{false};
  std::atomic<int> exit_code{1};
  std::atomic<HWND> window{nullptr};
  TrayRun() = default;
  TrayRun(const TrayRun&) = delete;
  TrayRun& operator=(const TrayRun&) = delete;
  ~TrayRun() {
    if (settled != nullptr) CloseHandle(settled);
  }
};

void Serve(const std::shared_ptr<TrayRun>& run) {
  ServerHooks hooks;
  hooks.stop = &run->stop;
  hooks.listening = [&run] {
    run->listening = true;
    SetEvent(run->settled);
  };
  hooks.song = [&run](const Song& song) { run->board.Set(song); };
  try {
    run->exit_code = RunServer(run->config, hooks);
  } catch (const std::exception& failure) {
    PrintError(std::string("trackwire_receiver: ") + failure.what());
  }
  SetEvent(run->settled);
  // A server that ended by itself takes the icon with it.
  if (const HWND window = run->window) PostMessageW(window, WM_CLOSE, 0, 0);
}

int RunInTray(const Options& options, const ServerConfig& config, int argc,
              wchar_t** argv) {
  const InstanceLock lock(options.port);
  if (!lock.first() && SignalRunningReceiver(options.port)) return 0;

  const auto run = std::make_shared<TrayRun>();
  run->config = config;
  // Errors and warnings show as a balloon; before the icon, in a box.
  SetErrorNotice(
      [board = run](std::string_view text) { board->board.Notice(text); });
  const ConsoleQueue console;
  Thread server([run] { Serve(run); });
  if (!server.started()) {
    ShowError("trackwire_receiver: cannot start the server's thread");
    return 1;
  }
  WaitForSingleObject(run->settled, INFINITE);
  if (!run->listening) {
    server.Wait(kServerEndWaitMs);
    const std::string notice = run->board.TakeNotice();
    ShowError(notice.empty() ? "trackwire_receiver: the server ended at once"
                             : notice);
    return run->exit_code;
  }

  TraySettings settings;
  settings.port = config.port;
  settings.listen_address = ListenAddress(config.listen, config.port);
  settings.overlay_address = OverlayAddress(config.listen, config.port);
  settings.folder = config.folder;
  settings.program = ThisProgram();
  settings.autostart_command =
      AutostartCommand(settings.program, config.folder, argc, argv);
  Tray tray(settings, run->board, [run, &server] {
    run->stop.Stop();
    server.Wait(kServerEndWaitMs);
  });
  if (!tray.Create()) {
    run->stop.Stop();
    server.Wait(kServerEndWaitMs);
    ShowError("trackwire_receiver: cannot make the notification-area icon");
    return 1;
  }
  run->window = tray.window();
  // The server may have ended before it knew the window.
  if (WaitForSingleObject(run->settled, 0) == WAIT_OBJECT_0 && server.Wait(0)) {
    tray.Close();
  }
  tray.Run();
  run->window = nullptr;
  run->stop.Stop();
  // The notice stays set: a server that did not end in time may still print.
  server.Wait(kServerEndWaitMs);
  return run->exit_code;
}

}  // namespace
}  // namespace receiver

int wmain(int argc, wchar_t** argv) {
  using namespace receiver;
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(WideToUtf8(argv[i]));
  const ParsedOptions parsed = ParseOptions(arguments);
  if (!parsed.options) {
    Tell("trackwire_receiver: " + parsed.error + " (--help lists the options)",
         true);
    return 2;
  }
  const Options& options = *parsed.options;
  if (options.help) {
    Tell(UsageText(), false);
    return 0;
  }
  if (options.console) OpenConsole();
  if (!IsUsableCodePage(options.code_page)) {
    const std::string text = "trackwire_receiver: code page " +
                             std::to_string(options.code_page) +
                             " is not available on this PC";
    options.console ? PrintError(text) : ShowError(text);
    if (options.console) WaitForEnterInOwnWindow();
    return 2;
  }
  ServerConfig config;
  config.listen = options.listen;
  config.port = options.port;
  config.format = options.format;
  config.code_page = options.code_page;
  config.allow_hosts = options.allow_hosts;
  config.key = options.key;
  const std::string error =
      PrepareFolder(Utf8ToWide(options.folder), config.folder);
  if (!error.empty()) {
    const std::string text = "trackwire_receiver: " + error +
                             ". Name a folder you can write to with --folder.";
    if (!options.console) {
      ShowError(text);
      return 2;
    }
    PrintError(text);
    WaitForEnterInOwnWindow();
    return 2;
  }
  if (options.console) return RunInConsole(config);
  return RunInTray(options, config, argc, argv);
}
