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

#include "receiver/icon/autostart.h"
#include "receiver/icon/instance.h"
#include "receiver/icon/song_board.h"
#include "receiver/icon/tray.h"
#include "receiver/icon/tray_text.h"
#include "receiver/options/options.h"
#include "receiver/settings/settings_load.h"
#include "receiver/songs/song_folder.h"
#include "receiver/system/code_page.h"
#include "receiver/system/console.h"
#include "receiver/system/random.h"
#include "receiver/system/session_end.h"
#include "receiver/system/system_message.h"
#include "receiver/system/thread.h"
#include "receiver/web/addresses.h"
#include "receiver/web/control_api.h"
#include "receiver/web/server.h"

namespace receiver {
namespace {

// At exit the server's thread gets this long, its files' final try included,
// so that an exit at log-off ends within the time Windows gives; one that is
// stuck is left behind.
constexpr DWORD kServerEndWaitMs = 3000;
static_assert(kServerEndMs + 500 <= kServerEndWaitMs,
              "the server's end fits in the wait for it, with time to spare");

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

// What a second start says when the port's receiver is the user's own.
std::string AlreadyRunningText(int port, RunningReceiver running) {
  const std::string start =
      "trackwire_receiver: a receiver already runs on port " +
      std::to_string(port);
  switch (running) {
    case RunningReceiver::kIcon:
      return start +
             ", as an icon in the notification area, and opens its control "
             "page; end it with its menu's \"Exit\" to run one here.";
    case RunningReceiver::kConsole:
      return start +
             " in a console window, and opens its control page; close that "
             "window or press Ctrl+C in it to run one here.";
    case RunningReceiver::kNone:
      break;
  }
  return start + " and is starting or ending; try again in a moment.";
}

// The control page with this start's key, as the icon and a second start
// open it.
std::string ControlPageAddress(const ServerConfig& config) {
  return ControlAddress(PageAddress(config.listen, config.port),
                        config.control_key);
}

std::string NoThreadText() {
  return "trackwire_receiver: cannot start a thread of its own; Windows is "
         "short of memory or handles";
}

int RunInConsole(const ServerConfig& config) {
  TurnOffQuickEditInOwnWindow();
  const InstanceLock lock(config.port);
  if (!lock.first()) {
    PrintError(
        AlreadyRunningText(config.port, SignalRunningReceiver(config.port)));
    WaitForEnterInOwnWindow();
    return 2;
  }
  int exit_code = 1;
  {
    const ConsoleQueue console;
    ServerStop stop;
    SessionEndWindow session(
        TrayWindowTitle(config.port), [&stop] { stop.Stop(); },
        kServerEndWaitMs,
        [address = Utf8ToWide(ControlPageAddress(config))] {
          ShellOpen(address);
        });
    if (!session.started()) {
      // Without a desktop (a service, a display-less session) there is no
      // window to hear the session end: the receiver runs all the same.
      PrintError(
          "trackwire_receiver: no window to hear the end of the session; a "
          "song file still pending at log-off may not be written");
    }
    if (!console.started()) {
      PrintError(NoThreadText());
    } else {
      ServerHooks hooks;
      hooks.stop = &stop;
      try {
        exit_code = RunServer(config, hooks);
      } catch (const std::exception& failure) {
        PrintError(std::string("trackwire_receiver: ") + failure.what());
      }
    }
    session.Finished();
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
  ServerCommands commands;
  Event settled;  // the server listens, or has ended
  std::atomic<bool> listening{false};
  std::atomic<int> exit_code{1};
};

void Serve(const std::shared_ptr<TrayRun>& run) {
  ServerHooks hooks;
  hooks.stop = &run->stop;
  hooks.listening = [&run] {
    run->listening = true;
    run->settled.Set();
  };
  hooks.song = [&run](const Song& song) { run->board.Set(song); };
  hooks.chat = [&run](const std::string& line) { run->board.SetChat(line); };
  hooks.problems = [&run](std::size_t count) { run->board.SetProblems(count); };
  hooks.commands = &run->commands;
  try {
    run->exit_code = RunServer(run->config, hooks);
  } catch (const std::exception& failure) {
    PrintError(std::string("trackwire_receiver: ") + failure.what());
  }
  // A server that ended by itself takes the icon with it, also one whose
  // window is still being made: the board keeps the end for it.
  run->board.EndServer();
  run->settled.Set();
}

int RunInTray(const Options& options, const ServerConfig& config) {
  const InstanceLock lock(config.port);
  if (!lock.first()) {
    const RunningReceiver running = SignalRunningReceiver(config.port);
    if (running == RunningReceiver::kIcon) return 0;
    if (running == RunningReceiver::kConsole) {
      // The control page it opens says the rest; no box for it.
      if (HasOutputOrParentConsole()) {
        PrintLine(AlreadyRunningText(config.port, running));
      }
      return 0;
    }
    // None showed a window: it was ending, or it fails on the port below.
  }

  const auto run = std::make_shared<TrayRun>();
  if (!run->settled.created()) {
    ShowError("trackwire_receiver: cannot make an event: " +
              SystemMessage(GetLastError()));
    return 1;
  }
  run->config = config;
  // Errors and warnings show as a balloon; before the icon, in a box.
  SetErrorNotice(
      [board = run](std::string_view text) { board->board.Notice(text); });
  const ConsoleQueue console;
  if (!console.started()) {
    ShowError(NoThreadText());
    return 1;
  }
  Thread server([run] { Serve(run); });
  if (!server.started()) {
    ShowError(NoThreadText());
    return 1;
  }
  run->settled.Wait(INFINITE);
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
  settings.control_address = ControlPageAddress(config);
  settings.folder = config.folder;
  settings.program = ThisProgram();
  settings.autostart_command =
      AutostartCommand(settings.program, options, config.folder);
  settings.settings_file =
      config.folder + L"\\" + Utf8ToWide(std::string(kSettingsFileName));
  // Exit only asks; the wait comes after the loop.
  Tray tray(settings, run->board, [run] { run->stop.Stop(); });
  tray.set_session_end_wait([&server] { server.Wait(kServerEndWaitMs); });
  tray.set_clear([run] { run->commands.clear_song.Call(); });
  if (!tray.Create()) {
    run->stop.Stop();
    server.Wait(kServerEndWaitMs);
    ShowError("trackwire_receiver: cannot make the notification-area icon");
    return 1;
  }
  tray.Run();
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
  config.control_key = RandomHex(16);
  config.port_in_settings = !options.console && !options.port_given;
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
  // The settings file, written at the first start; the command line wins.
  std::string problem;
  const SettingsRead read = LoadSettingsFile(config.folder, problem);
  config.settings = read.settings;
  if (!options.port_given && read.settings.port) {
    config.port = *read.settings.port;
  }
  if (!options.listen_given && read.settings.listen) {
    config.listen = *read.settings.listen;
  }
  config.settings_problems = read.problems;
  config.settings_file_problem = problem;
  const std::string lines = ProblemsText(read.problems);
  if (!lines.empty()) problem += (problem.empty() ? "" : "; ") + lines;
  if (!problem.empty()) {
    config.settings_notice =
        "trackwire_receiver: " + std::string(kSettingsFileName) + ": " +
        problem;
  }
  if (options.console) return RunInConsole(config);
  return RunInTray(options, config);
}
