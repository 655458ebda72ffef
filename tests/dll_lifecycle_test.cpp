// The real DLL, loaded through its export by this process acting as the
// player: load check, record, DDE service, unload.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "plugin/host_interface.h"
#include "tests/support/fake_player.h"
#include "tests/support/helper_process.h"
#include "tests/support/plugin_host.h"
#include "tests/support/process_usage.h"
#include "tests/support/test_files.h"

namespace {

using testing_support::FakePlayer;
using testing_support::PluginHost;
using testing_support::PumpMessages;
using testing_support::PumpUntil;
using testing_support::WindowWatcher;

constexpr char kLoadCaption[] = "WinAmp Trackwire [ Error ]";
constexpr int kMessageBoxTextId = 0xFFFF;

// Loads the DLL expecting a refusal; returns the texts of the load-error
// boxes that came up (each closed with OK).
std::vector<std::string> RefusedLoadMessages() {
  WindowWatcher watcher(kLoadCaption, kMessageBoxTextId, IDOK);
  PluginHost host;
  EXPECT_FALSE(host.Load());
  Sleep(500);
  return watcher.texts();
}

const std::vector<std::string> kPlayerMissing = {
    "WinAmp Trackwire requires WinAmp X.XX"};

TEST(DllLoad, WithoutAPlayerTheLoadFailsWithOneMessage) {
  ASSERT_EQ(FindWindowA("Winamp v1.x", nullptr), nullptr);
  EXPECT_EQ(RefusedLoadMessages(), kPlayerMissing);
}

TEST(DllLoad, APlayerAnsweringZeroIsNoPlayer) {
  FakePlayer player;
  player.version = 0;
  EXPECT_EQ(RefusedLoadMessages(), kPlayerMissing);
  EXPECT_EQ(player.commands, std::vector<LPARAM>{plugin::kCommandVersion});
}

TEST(DllLoad, TheRecordAsThePlayerFindsIt) {
  FakePlayer player;
  PluginHost host;
  ASSERT_TRUE(host.Load());
  plugin::PluginRecord* record = host.Record();
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(host.Record(), record);
  EXPECT_EQ(record->version, 0x10);
  EXPECT_STREQ(record->description, "WinAmp Tunebeacon v1.0");
  EXPECT_NE(record->init, nullptr);
  EXPECT_NE(record->config, nullptr);
  EXPECT_NE(record->quit, nullptr);
  EXPECT_EQ(record->host_window, nullptr);
  EXPECT_EQ(record->module, nullptr);
  EXPECT_EQ(GetProcAddress(host.module(), "_winampGetGeneralPurposePlugin@0"),
            nullptr);
}

// In the 32-bit configuration the suites must run the very file that users
// get; the build names it in TRACKWIRE_SHIPPED_DLL.
TEST(DllLoad, TheLoadedFileIsTheShippedOne) {
  const char* shipped = std::getenv("TRACKWIRE_SHIPPED_DLL");
  if (shipped == nullptr || *shipped == '\0') {
    GTEST_SKIP() << "this configuration builds its own DLL";
  }
  std::string shipped_path = shipped;
  if (shipped_path[0] == '/') {
    shipped_path = "Z:" + shipped_path;
    for (char& c : shipped_path) c = c == '/' ? '\\' : c;
  }
  FakePlayer player;
  PluginHost host;
  ASSERT_TRUE(host.Load());
  char loaded_path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(host.module(), loaded_path, MAX_PATH), 0u);
  std::string loaded, expected;
  ASSERT_TRUE(testing_support::ReadBytes(loaded_path, &loaded));
  ASSERT_TRUE(testing_support::ReadBytes(shipped_path, &expected))
      << shipped_path;
  EXPECT_GT(expected.size(), 0u);
  EXPECT_TRUE(loaded == expected)
      << loaded_path << " differs from " << shipped_path;
}

TEST(DllLoad, InitLoadsTheSettingsFromThePlayersFolder) {
  FakePlayer player;
  testing_support::TempFolder folder;
  player.settings_folder = folder.path();
  PluginHost host;
  ASSERT_TRUE(host.Load());
  host.Init(player.window());
  EXPECT_EQ(player.CountCommand(plugin::kCommandSettingsFolder), 1);
  // No settings file: the defaults stand and none is made.
  EXPECT_FALSE(testing_support::FileExists(folder.File("gen_trackwire.ini")));
  host.Free();
}

// Runs the DDE client helper as a second process while this thread keeps
// answering messages. Its exit code: 0 connected to "EVALUATE" only and got
// no data, 1 no such service, 4 another topic was taken too, 2 or more
// something else.
DWORD RunDdeClient() {
  return testing_support::RunBesideThisProgram("dde_client.exe", 20000);
}

TEST(DllDde, TheServiceIsThereUntilQuit) {
  EXPECT_EQ(RunDdeClient(), 1u) << "no service before the plug-in loads";
  FakePlayer player;
  PluginHost host;
  ASSERT_TRUE(host.Load());
  host.Init(player.window());
  EXPECT_EQ(RunDdeClient(), 0u);
  EXPECT_EQ(RunDdeClient(), 0u) << "a second client after the first";
  host.Quit();
  EXPECT_EQ(RunDdeClient(), 1u);
  host.Free();
  EXPECT_TRUE(IsWindow(player.window()));
}

// Pumps messages for `milliseconds` and counts the WM_TIMER messages that
// arrive for `window`. The system would swallow the fault of a timer whose
// procedure was unloaded, so the message itself is the evidence; it is not
// dispatched.
int PumpCountingTimers(HWND window, DWORD milliseconds) {
  int timers = 0;
  const ULONGLONG end = GetTickCount64() + milliseconds;
  while (GetTickCount64() < end) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_TIMER && message.hwnd == window) {
        ++timers;
        continue;
      }
      DispatchMessageA(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return timers;
}

TEST(DllUnload, FreeLibraryBeforeTheArmingTimerFires) {
  FakePlayer player;
  PluginHost host;
  ASSERT_TRUE(host.Load());
  host.Init(player.window());
  PumpMessages(500);
  host.Free();
  ASSERT_EQ(GetModuleHandleA("gen_trackwire.dll"), nullptr);
  EXPECT_EQ(PumpCountingTimers(player.window(), 6000), 0);
  EXPECT_TRUE(IsWindow(player.window()));
}

TEST(DllUnload, FreeLibraryWithACheckPending) {
  FakePlayer player;
  player.Play({"Pending", L"", L"", L"", false, L"Pending"});
  PluginHost host;
  ASSERT_TRUE(host.Load());
  host.Init(player.window());
  PumpMessages(4500);
  testing_support::RunIdleThreads(1);
  host.Free();  // quit, then the unload; the detach itself schedules nothing
  ASSERT_EQ(GetModuleHandleA("gen_trackwire.dll"), nullptr);
  EXPECT_EQ(PumpCountingTimers(player.window(), 6000), 0);
  EXPECT_EQ(player.CountCommand(plugin::kCommandPlayState), 0);
  EXPECT_TRUE(IsWindow(player.window()));
}

// A settings file of almost 2 GB, sparse on disk.
bool MakeOversizedFile(const std::string& path) {
  const HANDLE file =
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  size.QuadPart = 0x7FFF0000;
  const bool sized =
      SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  return sized;
}

// Two hundred loads in one process, each with init and quit, a few of them
// armed and checking: nothing left behind, no timer, no handle, no service.
// In a 32-bit player a few rounds also meet a settings file too large for
// its address space, so the DLL throws and catches inside the player; the
// runtime's exception machinery must leave nothing behind either.
TEST(DllUnload, TwoHundredLoadsLeaveNothingBehind) {
  constexpr bool kOversizedRounds = sizeof(void*) == 4;
  testing_support::TempFolder oversized;
  if (kOversizedRounds) {
    ASSERT_TRUE(MakeOversizedFile(oversized.File("gen_trackwire.ini")));
  }
  WindowWatcher memory_boxes("WinAmp Tunebeacon", kMessageBoxTextId, IDOK);
  int oversized_loads = 0;
  FakePlayer player;
  player.Play({"Cycle", L"C:\\cycle.mp3", L"A", L"B", true, L"Cycle"});
  testing_support::ProcessUsage after_ten;
  for (int round = 0; round < 200; ++round) {
    const bool oversized_round = kOversizedRounds && round % 40 == 3;
    player.settings_folder = oversized_round ? oversized.path() : "";
    oversized_loads += oversized_round ? 1 : 0;
    PluginHost host;
    ASSERT_TRUE(host.Load()) << "round " << round;
    host.Init(player.window());
    if (round % 80 == 5) {
      PumpMessages(4300);
      testing_support::RunIdleThreads(2);
      const int checks = player.CountCommand(plugin::kCommandPlayState);
      EXPECT_TRUE(PumpUntil(
          [&] {
            return player.CountCommand(plugin::kCommandPlayState) > checks;
          },
          3000))
          << "round " << round;
      testing_support::RunIdleThreads(1);  // leave a check pending
    } else {
      PumpMessages(2);
    }
    host.Free();
    if (round == 9) after_ten = testing_support::MeasureProcessUsage();
  }
  const testing_support::ProcessUsage after_all =
      testing_support::MeasureProcessUsage();
  std::printf("200 loads: handles %lu -> %lu, heap bytes %zu -> %zu\n",
              static_cast<unsigned long>(after_ten.handles),
              static_cast<unsigned long>(after_all.handles),
              static_cast<size_t>(after_ten.heap_bytes),
              static_cast<size_t>(after_all.heap_bytes));
  EXPECT_LE(after_all.handles, after_ten.handles + 8);
  EXPECT_LE(after_all.heap_bytes, after_ten.heap_bytes + 64 * 1024);
  EXPECT_EQ(PumpCountingTimers(player.window(), 1500), 0);
  EXPECT_EQ(RunDdeClient(), 1u);
  EXPECT_EQ(
      memory_boxes.texts(),
      std::vector<std::string>(oversized_loads,
                               "Cannot read config file! Not enough memory."));
}

TEST(DllUnload, LoadAndUnloadAgain) {
  FakePlayer player;
  for (int round = 0; round < 5; ++round) {
    PluginHost host;
    ASSERT_TRUE(host.Load());
    host.Init(player.window());
    PumpMessages(50);
    host.Free();
  }
  EXPECT_EQ(RunDdeClient(), 1u);
}

}  // namespace
