#include "receiver/icon/tray.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "receiver/icon/autostart.h"
#include "receiver/icon/instance.h"
#include "receiver/options/command_line.h"
#include "receiver/options/options.h"
#include "receiver/system/code_page.h"
#include "receiver/system/thread.h"
#include "receiver/tests/second_start.h"
#include "tests/support/helper_process.h"

namespace receiver {
namespace {

const std::wstring kFolder = L"C:\\users\\Public\\Documents\\WinAmp Tunebeacon";
const std::wstring kProgram =
    L"C:\\Program Files\\WinAmp Tunebeacon Receiver\\trackwire_receiver.exe";

TraySettings Settings(int port) {
  TraySettings settings;
  settings.port = port;
  settings.listen_address = "127.0.0.1:" + std::to_string(port);
  settings.overlay_address =
      "http://127.0.0.1:" + std::to_string(port) + "/?overlay=1";
  settings.control_address =
      "http://127.0.0.1:" + std::to_string(port) + "/control#key=0a1b";
  settings.folder = kFolder;
  settings.program = kProgram;
  settings.autostart_command = CommandLine(kProgram, {L"--folder", kFolder});
  settings.settings_file = std::wstring(kFolder) + L"\\trackwire_receiver.ini";
  return settings;
}

// Answers this thread's messages until `done` holds, 10 s at most.
template <typename Done>
bool PumpUntil(Done done) {
  const ULONGLONG end = GetTickCount64() + 10000;
  while (!done()) {
    if (GetTickCount64() > end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&message);
    }
  }
  return true;
}

struct MenuItem {
  std::wstring text;
  bool checked;
  bool operator==(const MenuItem& other) const {
    return text == other.text && checked == other.checked;
  }
};
std::vector<MenuItem>* g_menu_seen = nullptr;

// Runs inside the menu's own message loop: reads the open menu and closes it.
void CALLBACK ReadOpenMenu(HWND, UINT, UINT_PTR timer, DWORD) {
  const HWND popup = FindWindowW(L"#32768", nullptr);
  if (popup == nullptr || !IsWindowVisible(popup)) return;
  KillTimer(nullptr, timer);
  const auto menu =
      reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t text[64] = {};
    GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
    g_menu_seen->push_back(
        {text, (GetMenuState(menu, i, MF_BYPOSITION) & MF_CHECKED) != 0});
  }
  EndMenu();
}

// What the icon's menu shows after the icon got `mouse_messages`; a left
// click's menu waits for the time of a double click.
std::vector<MenuItem> MenuAfter(HWND window,
                                std::initializer_list<UINT> mouse_messages) {
  std::vector<MenuItem> seen;
  g_menu_seen = &seen;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, ReadOpenMenu);
  for (const UINT message : mouse_messages) {
    SendMessageW(window, kTrayNotify, 1, message);
  }
  const ULONGLONG end = GetTickCount64() + GetDoubleClickTime() + 500;
  PumpUntil([&] { return !seen.empty() || GetTickCount64() > end; });
  KillTimer(nullptr, timer);
  g_menu_seen = nullptr;
  return seen;
}

std::vector<MenuItem> Menu(bool checked) {
  return {{L"Open the control page", false},
          {L"Open the overlay", false},
          {L"Copy the overlay address", false},
          {L"Open the song folder", false},
          {L"Edit settings", false},
          {L"", false},
          {L"Copy the song", false},
          {L"Clear the song", false},
          {L"", false},
          {L"Start when I log on", checked},
          {L"", false},
          {L"Exit", false}};
}

std::wstring ClipboardText() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return L"(clipboard not open)";
  if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

// The Run value as Windows reads it at log-on, taken apart as it will be.
std::optional<std::vector<std::wstring>> RunValueArguments() {
  wchar_t value[1024] = {};
  DWORD bytes = sizeof(value);
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunValueName, RRF_RT_REG_SZ,
                   nullptr, value, &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(value, &count);
  std::vector<std::wstring> out(arguments, arguments + count);
  LocalFree(arguments);
  return out;
}

void SetRunValue(const std::wstring& command) {
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, kRunValueName, REG_SZ,
                            command.c_str(),
                            static_cast<DWORD>((command.size() + 1) * 2)),
            ERROR_SUCCESS);
}

class TrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RemoveAutostart(), "");
    tray_.set_open([this](const std::wstring& target) {
      opened_.push_back(target);
      return true;
    });
    tray_.set_edit([this](const std::wstring& target) {
      opened_.push_back(L"notepad " + target);
      return true;
    });
    tray_.set_clear([this] { ++clears_; });
    ASSERT_TRUE(tray_.Create());
  }
  void TearDown() override { EXPECT_EQ(RemoveAutostart(), ""); }

  SongBoard board_;
  int exits_ = 0;
  int clears_ = 0;
  std::vector<std::wstring> opened_;
  Tray tray_{Settings(48211), board_, [this] { ++exits_; }};
};

TEST_F(TrayTest, TheTooltipFollowsTheSongBoard) {
  EXPECT_TRUE(tray_.icon_shown());
  EXPECT_EQ(tray_.tooltip(),
            L"Waiting for the first song\nListening on 127.0.0.1:48211");
  // A burst of reports from the server's thread: one message, the last song.
  std::thread server([this] {
    for (int i = 1; i <= 50; ++i) {
      board_.Set({"Artist", "", "Title " + std::to_string(i), ""});
    }
  });
  server.join();
  MSG message;
  int posted = 0;
  while (PeekMessageW(&message, tray_.window(), kSongChanged, kSongChanged,
                      PM_REMOVE)) {
    ++posted;
    DispatchMessageW(&message);
  }
  EXPECT_EQ(posted, 1);
  // The shell hears of it a moment later, not while the report is answered.
  EXPECT_EQ(tray_.tooltip(),
            L"Waiting for the first song\nListening on 127.0.0.1:48211");
  ASSERT_TRUE(PumpUntil([this] { return tray_.tooltip()[0] == L'A'; }));
  EXPECT_EQ(tray_.tooltip(),
            L"Artist - Title 50\nListening on 127.0.0.1:48211");
  // Read, so the next change posts again.
  board_.Set({"Les \xC3\x89toiles", "", std::string(300, 'x'), ""});
  ASSERT_TRUE(PumpUntil([this] { return tray_.tooltip()[0] == L'L'; }));
  EXPECT_EQ(tray_.tooltip().size(), 127u);
  EXPECT_EQ(tray_.tooltip().substr(0, 16), L"Les \u00c9toiles - xx");
  EXPECT_EQ(tray_.tooltip().substr(97),
            L"\u2026\nListening on 127.0.0.1:48211");
}

// While a problem is open the icon is marked and its tooltip counts them.
TEST_F(TrayTest, OpenProblemsMarkTheIcon) {
  EXPECT_FALSE(tray_.marked());
  board_.SetProblems(2);
  ASSERT_TRUE(PumpUntil([this] { return tray_.tooltip()[0] == L'2'; }));
  EXPECT_EQ(tray_.tooltip(),
            L"2 problems: see the control page\nWaiting for the first "
            L"song\nListening on 127.0.0.1:48211");
  EXPECT_TRUE(tray_.marked());
  board_.SetProblems(0);
  ASSERT_TRUE(PumpUntil([this] { return tray_.tooltip()[0] == L'W'; }));
  EXPECT_FALSE(tray_.marked());
}

// What the console would have printed as an error shows as a balloon: the
// notices that came together in one, a flood of them cut short.
TEST_F(TrayTest, NoticesShowAsABalloon) {
  board_.Notice("trackwire_receiver: cannot replace now_playing.txt");
  board_.Notice("trackwire_receiver: refused a request for evil.example");
  ASSERT_TRUE(PumpUntil([this] { return !tray_.balloon().empty(); }));
  EXPECT_EQ(tray_.balloon(),
            L"trackwire_receiver: cannot replace now_playing.txt\n"
            L"trackwire_receiver: refused a request for evil.example");
  EXPECT_EQ(board_.TakeNotice(), "");
  for (int i = 0; i < 100; ++i) board_.Notice(std::string(50, 'n'));
  EXPECT_EQ(board_.TakeNotice().size(), 1000u);
}

TEST_F(TrayTest, EitherClickOpensTheMenuADoubleClickTheControlPage) {
  EXPECT_EQ(MenuAfter(tray_.window(), {WM_RBUTTONUP}), Menu(false));
  EXPECT_EQ(MenuAfter(tray_.window(), {WM_LBUTTONUP}), Menu(false));
  EXPECT_TRUE(MenuAfter(tray_.window(), {WM_MOUSEMOVE}).empty());
  EXPECT_TRUE(opened_.empty());
  EXPECT_TRUE(MenuAfter(tray_.window(), {WM_LBUTTONDOWN, WM_LBUTTONUP,
                                         WM_LBUTTONDBLCLK, WM_LBUTTONUP})
                  .empty());
  EXPECT_EQ(opened_, std::vector<std::wstring>{
                         L"http://127.0.0.1:48211/control#key=0a1b"});
  EXPECT_EQ(exits_, 0);
}

TEST_F(TrayTest, TheControlPageTheOverlayAndTheFolder) {
  SendMessageW(tray_.window(), WM_COMMAND, kOpenControlPage, 0);
  SendMessageW(tray_.window(), WM_COMMAND, kOpenOverlay, 0);
  SendMessageW(tray_.window(), WM_COMMAND, kOpenSongFolder, 0);
  EXPECT_EQ(opened_, (std::vector<std::wstring>{
                         L"http://127.0.0.1:48211/control#key=0a1b",
                         L"http://127.0.0.1:48211/?overlay=1", kFolder}));
  SendMessageW(tray_.window(), WM_COMMAND, kCopyOverlayAddress, 0);
  EXPECT_EQ(ClipboardText(), L"http://127.0.0.1:48211/?overlay=1");
}

TEST_F(TrayTest, SettingsTheChatLineAndClearing) {
  SendMessageW(tray_.window(), WM_COMMAND, kEditSettings, 0);
  EXPECT_EQ(opened_,
            (std::vector<std::wstring>{L"notepad " + std::wstring(kFolder) +
                                       L"\\trackwire_receiver.ini"}));
  board_.SetChat("Les \xC3\x89toiles - Caf\xC3\xA9");
  SendMessageW(tray_.window(), WM_COMMAND, kCopySong, 0);
  EXPECT_EQ(ClipboardText(), L"Les \u00c9toiles - Caf\u00e9");
  SendMessageW(tray_.window(), WM_COMMAND, kClearSong, 0);
  EXPECT_EQ(clears_, 1);
  EXPECT_EQ(exits_, 0);
}

TEST_F(TrayTest, StartWhenILogOnWritesAndRemovesTheRunValue) {
  SendMessageW(tray_.window(), WM_COMMAND, kStartAtLogOn, 0);
  EXPECT_EQ(RunValueArguments(),
            (std::vector<std::wstring>{kProgram, L"--folder", kFolder}));
  EXPECT_EQ(MenuAfter(tray_.window(), {WM_RBUTTONUP}), Menu(true));
  SendMessageW(tray_.window(), WM_COMMAND, kStartAtLogOn, 0);
  EXPECT_EQ(RunValueArguments(), std::nullopt);
  EXPECT_EQ(MenuAfter(tray_.window(), {WM_RBUTTONUP}), Menu(false));

  // The same program in other letters is this one; another one is not, and
  // the check item replaces it.
  SetRunValue(
      L"\"C:\\PROGRAM FILES\\WINAMP TUNEBEACON RECEIVER\\"
      L"TRACKWIRE_RECEIVER.EXE\" --folder C:\\x");
  EXPECT_EQ(MenuAfter(tray_.window(), {WM_RBUTTONUP}), Menu(true));
  SetRunValue(L"\"C:\\Old\\trackwire_receiver.exe\" --folder C:\\x");
  EXPECT_EQ(MenuAfter(tray_.window(), {WM_RBUTTONUP}), Menu(false));
  SendMessageW(tray_.window(), WM_COMMAND, kStartAtLogOn, 0);
  EXPECT_EQ(RunValueArguments(),
            (std::vector<std::wstring>{kProgram, L"--folder", kFolder}));
}

TEST(TrayExitTest, ExitAndCloseStopTheServerOnceAndEndTheLoop) {
  SongBoard board;
  int exits = 0;
  {
    Tray tray(Settings(48212), board, [&] { ++exits; });
    ASSERT_TRUE(tray.Create());
    PostMessageW(tray.window(), WM_COMMAND, kExit, 0);
    PostMessageW(tray.window(), WM_COMMAND, kExit, 0);
    EXPECT_EQ(tray.Run(), 0);
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(tray.window(), nullptr);
    EXPECT_FALSE(tray.icon_shown());
    // The board no longer posts to a window that is gone.
    board.Set({"a", "b", "c", ""});
  }
  {
    Tray tray(Settings(48212), board, [&] { ++exits; });
    ASSERT_TRUE(tray.Create());
    std::thread server([&] { tray.Close(); });
    EXPECT_EQ(tray.Run(), 0);
    server.join();
    EXPECT_EQ(exits, 2);
  }
}

// The server may end while the icon's window is being made: its end waits
// on the board for the window, which then closes at once, although the
// server's thread has not yet returned.
TEST(TrayExitTest, AServerThatEndedBeforeTheWindowTakesTheIconWithIt) {
  SongBoard board;
  int exits = 0;
  Event ended;
  Event unwound;
  std::thread server([&] {
    board.EndServer();
    ended.Set();
    unwound.Wait(20000);
  });
  ASSERT_TRUE(ended.Wait(10000));
  Tray tray(Settings(48216), board, [&] { ++exits; });
  ASSERT_TRUE(tray.Create());
  const bool closed = PumpUntil([&] { return tray.window() == nullptr; });
  unwound.Set();
  server.join();
  EXPECT_TRUE(closed);
  EXPECT_EQ(exits, 1);
  EXPECT_FALSE(tray.icon_shown());
}

TEST(TrayExitTest, AServerThatEndsLaterTakesTheIconWithIt) {
  SongBoard board;
  int exits = 0;
  Tray tray(Settings(48216), board, [&] { ++exits; });
  ASSERT_TRUE(tray.Create());
  std::thread server([&] { board.EndServer(); });
  server.join();
  EXPECT_EQ(tray.Run(), 0);
  EXPECT_EQ(exits, 1);
}

// At the end of the session Windows may end the process once the window has
// answered: the exit asks the server to stop first, and the answer waits.
TEST(TrayExitTest, TheEndOfTheSessionAnswersAfterTheWait) {
  SongBoard board;
  std::vector<std::string> steps;
  Tray tray(Settings(48216), board, [&] { steps.push_back("exit"); });
  tray.set_session_end_wait([&] { steps.push_back("wait"); });
  ASSERT_TRUE(tray.Create());
  SendMessageW(tray.window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
  EXPECT_TRUE(steps.empty());
  SendMessageW(tray.window(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_EQ(steps, (std::vector<std::string>{"exit", "wait"}));
  EXPECT_EQ(tray.Run(), 0);
}

// A warning printed before the icon was there (a song file that holds no
// song) shows as soon as it is, not at the next report.
TEST(TrayNoticeTest, ANoticeFromBeforeTheIconShowsWhenItAppears) {
  SongBoard board;
  board.Notice(
      "trackwire_receiver: ignoring now_playing.json: it holds no "
      "song");
  Tray tray(Settings(48217), board, [] {});
  ASSERT_TRUE(tray.Create());
  ASSERT_TRUE(PumpUntil([&] { return !tray.balloon().empty(); }));
  EXPECT_EQ(tray.balloon(),
            L"trackwire_receiver: ignoring now_playing.json: it holds no "
            L"song");
}

// Command lines as the system takes them apart at log-on.
TEST(SecondStartTest, OneReceiverPerPort) {
  const InstanceLock first(48214);
  const InstanceLock other_port(48215);
  EXPECT_TRUE(first.first());
  EXPECT_TRUE(other_port.first());
  EXPECT_FALSE(InstanceLock(48214).first());
  // Alone, a start is the first one.
  EXPECT_EQ(
      testing_support::RunBesideThisProgram("receiver_second_start.exe", 30000),
      3u);
}

TEST(SecondStartTest, TellsTheRunningOneToOpenTheControlPageAndEndsWithZero) {
  SongBoard board;
  Tray tray(Settings(kSecondStartPort), board, [] {});
  std::vector<std::wstring> opened;
  bool opens = true;
  tray.set_open([&](const std::wstring& target) {
    opened.push_back(target);
    return opens;
  });
  ASSERT_TRUE(tray.Create());
  const InstanceLock lock(kSecondStartPort);
  ASSERT_TRUE(lock.first());
  EXPECT_EQ(
      testing_support::RunBesideThisProgram("receiver_second_start.exe", 30000),
      0u);
  ASSERT_TRUE(PumpUntil([&] { return !opened.empty(); }));
  EXPECT_EQ(opened, std::vector<std::wstring>{
                        L"http://127.0.0.1:48213/control#key=0a1b"});
  EXPECT_EQ(tray.balloon(), L"");
  // Without a browser, a balloon says where this receiver is.
  opens = false;
  PostMessageW(tray.window(), kShowRunning, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !tray.balloon().empty(); }));
  EXPECT_EQ(tray.balloon(),
            L"Already running, listening on 127.0.0.1:48213; its song files "
            L"stay in " +
                kFolder + L". Click this icon for the control page and more.");
}

}  // namespace
}  // namespace receiver
