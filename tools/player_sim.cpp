// A stand-in for the media player, for trying a general-purpose plug-in
// without the player: it answers the player's window commands from a
// playlist file, loads the plug-in DLL as the player does, and plays the
// playlist, starting and ending a short decoder thread at every change as a
// real player does. See tools/README.md.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "plugin/plugin_record.h"
#include "tools/playlist.h"
#include "tools/sim_player.h"

namespace {

using player_sim::PlaylistEntry;
using player_sim::PlayState;
using player_sim::SimPlayer;

constexpr char kUsage[] =
    "usage: player_sim --plugin DLL --playlist FILE [--settings-dir DIR]\n"
    "                  [--seconds N] [--start-delay N]\n"
    "       player_sim --plugin DLL --configure [--settings-dir DIR]\n"
    "\n"
    "Stands in for the media player: a window of class \"Winamp v1.x\" that\n"
    "answers the player's commands, loads a general-purpose plug-in DLL and\n"
    "plays the playlist. Playlist: UTF-8, one track a line, tab-separated:\n"
    "artist, album, playlist title, seconds (\"pause\" TAB seconds pauses).\n"
    "\n"
    "  --plugin DLL        the plug-in DLL to load\n"
    "  --playlist FILE     the playlist to play\n"
    "  --settings-dir DIR  the player's settings folder (default: the current\n"
    "                      folder); the plug-in keeps its settings file there\n"
    "  --seconds N         play every track for N seconds (1 to 86400)\n"
    "  --start-delay N     seconds from the plug-in's init to the first track\n"
    "                      (default 5: the plug-in starts watching after 4 s)\n"
    "  --configure         open the plug-in's settings dialog, then quit\n"
    "  --help              show this text\n";

constexpr int kUsageError = 2;
constexpr int kRunError = 1;

// Owns one module loaded with LoadLibrary.
class Module {
 public:
  explicit Module(HMODULE module) : module_(module) {}
  ~Module() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

// Owns one kernel handle (file, thread).
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { Reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  void Reset(HANDLE handle = nullptr) {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE)
      CloseHandle(handle_);
    handle_ = handle;
  }
  HANDLE get() const { return handle_; }
  bool valid() const {
    return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = nullptr;
};

void Say(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "player_sim: %s\n\n%s", message.c_str(), kUsage);
  std::fflush(stderr);
  return kUsageError;
}

int RunError(const std::string& message) {
  std::fprintf(stderr, "player_sim: %s\n", message.c_str());
  std::fflush(stderr);
  return kRunError;
}

std::string Utf8(const std::wstring& text) {
  return player_sim::WideToUtf8(text);
}

bool quit_requested = false;
DWORD main_thread_id = 0;

// Runs the message loop for `milliseconds`, or until `wait_for` is
// signalled; returns false once the window was closed or Ctrl+C pressed.
bool RunMessageLoop(DWORD milliseconds, HANDLE wait_for = nullptr) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) quit_requested = true;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (quit_requested) return false;
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return true;
    const DWORD count = wait_for != nullptr ? 1 : 0;
    if (MsgWaitForMultipleObjects(count, &wait_for, FALSE,
                                  static_cast<DWORD>(end - now),
                                  QS_ALLINPUT) == WAIT_OBJECT_0 &&
        count == 1)
      return true;
  }
}

BOOL WINAPI OnConsoleControl(DWORD) {
  PostThreadMessageW(main_thread_id, WM_QUIT, 0, 0);
  return TRUE;
}

DWORD WINAPI DecoderThread(LPVOID) {
  Sleep(30);
  return 0;
}

// A real player starts a decoder thread for every track and ends it at
// every change; the plug-in learns of changes only from such thread starts
// and ends in the process.
class Decoder {
 public:
  ~Decoder() { Finish(); }
  void StartAndEnd() {
    Finish();
    thread_.Reset(CreateThread(nullptr, 0, DecoderThread, nullptr, 0, nullptr));
  }
  // Waits (dispatching messages) for the last thread to end.
  void Finish() {
    if (thread_.valid()) {
      const ULONGLONG end = GetTickCount64() + 10000;
      while (WaitForSingleObject(thread_.get(), 0) == WAIT_TIMEOUT &&
             GetTickCount64() < end && !quit_requested) {
        RunMessageLoop(100, thread_.get());
      }
    }
    thread_.Reset();
  }

 private:
  Handle thread_;
};

struct Options {
  std::wstring plugin;
  std::wstring playlist;
  std::wstring settings_dir;
  int seconds = 0;  // 0: as the playlist says
  int start_delay = 5;
  bool configure = false;
  bool help = false;
};

// Parses the command line; returns an error message, empty on success.
std::string ParseOptions(int argc, wchar_t** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring option = argv[i];
    if (option == L"--help" || option == L"-h") {
      options.help = true;
      continue;
    }
    if (option == L"--configure") {
      options.configure = true;
      continue;
    }
    const bool takes_value = option == L"--plugin" || option == L"--playlist" ||
                             option == L"--settings-dir" ||
                             option == L"--seconds" ||
                             option == L"--start-delay";
    if (!takes_value) return "unknown option " + Utf8(option);
    if (i + 1 >= argc) return Utf8(option) + " needs a value";
    const std::wstring value = argv[++i];
    if (option == L"--plugin") {
      options.plugin = value;
    } else if (option == L"--playlist") {
      options.playlist = value;
    } else if (option == L"--settings-dir") {
      options.settings_dir = value;
    } else if (option == L"--seconds") {
      const auto seconds = player_sim::ParseSeconds(Utf8(value));
      if (!seconds) return "--seconds needs a whole number from 1 to 86400";
      options.seconds = *seconds;
    } else {
      const std::string text = Utf8(value);
      if (text == "0") {
        options.start_delay = 0;
      } else {
        const auto delay = player_sim::ParseSeconds(text);
        if (!delay || *delay > 60)
          return "--start-delay needs a whole number from 0 to 60";
        options.start_delay = *delay;
      }
    }
  }
  if (options.help) return std::string();
  if (options.plugin.empty()) return "--plugin is missing";
  if (options.playlist.empty() && !options.configure)
    return "--playlist is missing";
  return std::string();
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD length =
      GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  full.resize(length);
  return full;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ReadWholeFile(const std::wstring& path, std::string& content) {
  Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  content.clear();
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) &&
         read > 0) {
    content.append(buffer, read);
  }
  return true;
}

// Plays the playlist; returns false when told to quit early.
bool Play(SimPlayer& player, const std::vector<PlaylistEntry>& entries,
          const Options& options) {
  Decoder decoder;
  const std::size_t track_count = player.tracks().size();
  if (options.start_delay > 0) {
    Say("waiting " + std::to_string(options.start_delay) +
        " s before the first track");
    if (!RunMessageLoop(static_cast<DWORD>(options.start_delay) * 1000))
      return false;
  }
  std::size_t next_track = 0;
  for (const PlaylistEntry& entry : entries) {
    if (entry.is_pause) {
      if (player.state() != PlayState::kPlaying) {
        if (!RunMessageLoop(static_cast<DWORD>(entry.seconds) * 1000))
          return false;
        continue;
      }
      player.SetState(PlayState::kPaused);
      Say("paused for " + std::to_string(entry.seconds) + " s");
      decoder.StartAndEnd();
      if (!RunMessageLoop(static_cast<DWORD>(entry.seconds) * 1000))
        return false;
      player.SetState(PlayState::kPlaying);
      Say("resumed");
      decoder.StartAndEnd();
      continue;
    }
    const std::size_t index = next_track++;
    const player_sim::Track& track = player.tracks()[index];
    const int seconds = options.seconds > 0 ? options.seconds : entry.seconds;
    player.SetPosition(index);
    player.SetState(PlayState::kPlaying);
    player.SetCaption(player_sim::Utf8ToWide(entry.title));
    Say("track " + std::to_string(index + 1) + "/" +
        std::to_string(track_count) + " (" + std::to_string(seconds) +
        " s): " + entry.title + "  [artist: " + Utf8(track.artist) +
        ", album: " + Utf8(track.album) + "]");
    decoder.StartAndEnd();
    if (!RunMessageLoop(static_cast<DWORD>(seconds) * 1000)) return false;
  }
  player.SetState(PlayState::kStopped);
  player.SetCaption(L"Player simulator (stopped)");
  Say("stopped");
  decoder.StartAndEnd();
  // Let a check that the stop scheduled run before the plug-in is unloaded.
  return RunMessageLoop(1500);
}

int Run(int argc, wchar_t** argv) {
  Options options;
  const std::string option_error = ParseOptions(argc, argv, options);
  if (!option_error.empty()) return UsageError(option_error);
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }

  const std::wstring plugin_path = FullPath(options.plugin);
  if (!IsFile(plugin_path))
    return UsageError("plug-in not found: " + Utf8(options.plugin));

  std::vector<PlaylistEntry> entries;
  if (!options.playlist.empty()) {
    std::string text;
    if (!ReadWholeFile(options.playlist, text))
      return UsageError("cannot read the playlist " + Utf8(options.playlist));
    std::string error;
    auto parsed = player_sim::ParsePlaylist(text, error);
    if (!parsed) return UsageError(Utf8(options.playlist) + ", " + error);
    entries = std::move(*parsed);
  }

  std::wstring settings_dir =
      FullPath(options.settings_dir.empty() ? L"." : options.settings_dir);
  if (settings_dir.size() > 3 &&
      (settings_dir.back() == L'\\' || settings_dir.back() == L'/'))
    settings_dir.pop_back();
  if (!IsFolder(settings_dir))
    return UsageError("settings folder not found: " + Utf8(settings_dir));
  const std::string settings_folder = player_sim::WideToAnsi(settings_dir);
  if (player_sim::Utf8ToWide(player_sim::WideToUtf8(settings_dir)) !=
          settings_dir ||
      settings_folder.find('?') != std::string::npos)
    return UsageError(
        "the settings folder's name does not fit the ANSI code "
        "page: " +
        Utf8(settings_dir));

  main_thread_id = GetCurrentThreadId();
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);

  // The window must exist before the DLL loads: its entry looks for it.
  SimPlayer player(player_sim::MakeTracks(entries), settings_folder);
  if (player.window() == nullptr)
    return RunError("cannot create the player window");
  ShowWindow(player.window(), SW_SHOWNOACTIVATE);

  Module module(LoadLibraryW(plugin_path.c_str()));
  if (module.get() == nullptr)
    return RunError("the plug-in did not load: " + Utf8(plugin_path) +
                    " (error " + std::to_string(GetLastError()) + ")");
  using GetRecord = plugin::PluginRecord* (*)();
  const auto get_record = reinterpret_cast<GetRecord>(reinterpret_cast<void*>(
      GetProcAddress(module.get(), "winampGetGeneralPurposePlugin")));
  if (get_record == nullptr)
    return UsageError(Utf8(plugin_path) +
                      " is no general-purpose plug-in: it does not export "
                      "winampGetGeneralPurposePlugin");
  plugin::PluginRecord* record = get_record();
  if (record == nullptr || record->init == nullptr || record->quit == nullptr)
    return RunError("the plug-in returned no usable record");

  record->host_window = player.window();
  record->module = module.get();
  Say("loaded " + Utf8(plugin_path) + ": " +
      (record->description != nullptr ? record->description : "(no name)"));
  Say("settings folder: " + Utf8(settings_dir));
  record->init();

  if (options.configure) {
    if (record->config == nullptr) return RunError("the plug-in has no config");
    Say("opening the plug-in's settings dialog");
    record->config();
  } else if (!Play(player, entries, options)) {
    Say("quitting early");
  }
  record->quit();
  Say("plug-in quit");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  SetConsoleOutputCP(CP_UTF8);
  return Run(argc, argv);
}
