// Thread starts and ends in the host process, after the arming delay, lead
// the real DLL to one check a second later and to the report on the wire.
#include <gtest/gtest.h>

#include <atomic>

#include "plugin/host_interface.h"
#include "plugin/trigger.h"
#include "tests/support/fake_player.h"
#include "tests/support/import_patch.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/plugin_host.h"
#include "tests/support/test_files.h"

namespace {

using testing_support::FakeEntry;
using testing_support::ImportPatch;
using testing_support::PumpMessages;
using testing_support::PumpUntil;
using testing_support::RunIdleThreads;

std::atomic<int> check_timers_to_fail{0};
std::atomic<int> check_timers_failed{0};

UINT_PTR WINAPI SetTimerThatCanFail(HWND window, UINT_PTR id, UINT delay_ms,
                                    TIMERPROC procedure) {
  if (id == plugin::kCheckTimerId && check_timers_to_fail.exchange(0) > 0) {
    ++check_timers_failed;
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return 0;
  }
  return SetTimer(window, id, delay_ms, procedure);
}

class DllTrigger : public ::testing::Test {
 protected:
  virtual std::string RequestPath() const {
    return "/set_current_song.php?artist=%s&album=%s&title=%s";
  }
  void SetUp() override {
    ASSERT_TRUE(listener.ok());
    ASSERT_TRUE(testing_support::WriteSettingsFile(
        folder, "localhost", std::to_string(listener.port()), RequestPath()));
    player.settings_folder = folder.path();
    player.Play(Entry("Foo Bar - Qux & Co"));
    ASSERT_TRUE(host.Load());
    host.Init(player.window());
  }
  void TearDown() override { host.Free(); }

  static FakeEntry Entry(const std::string& title) {
    const std::wstring wide(title.begin(), title.end());
    return {title, L"C:\\Music\\" + wide, L"Foo Bar", L"Baz", true, wide};
  }
  void WaitOutArming() {
    PumpMessages(4300);
    player.ClearLog();
  }
  int Checks() const { return player.CountCommand(plugin::kCommandPlayState); }
  // Plays each entry after the arming and returns the request line each
  // one gave.
  std::vector<std::string> PlayEach(const std::vector<FakeEntry>& entries) {
    WaitOutArming();
    for (const FakeEntry& entry : entries) {
      player.Play(entry);
      const std::size_t before = listener.request_count();
      RunIdleThreads(1);
      if (!PumpUntil([&] { return listener.request_count() > before; }, 5000))
        break;
    }
    std::vector<std::string> lines;
    for (const std::string& request : listener.requests()) {
      EXPECT_EQ(request.substr(request.find('\r')),
                "\r\nHost: localhost\r\nUser-Agent: Winamp Tunebeacon\r\n\r\n");
      lines.push_back(request.substr(0, request.find('\r')));
    }
    return lines;
  }

  testing_support::FakePlayer player;
  testing_support::LoopbackListener listener;
  testing_support::TempFolder folder;
  testing_support::PluginHost host;
};

TEST_F(DllTrigger, ThreadActivityAfterArmingReportsTheTitle) {
  WaitOutArming();
  RunIdleThreads(3);
  ASSERT_TRUE(PumpUntil([&] { return listener.request_count() == 1; }, 5000));
  EXPECT_EQ(listener.requests()[0],
            "GET /set_current_song.php?artist=Foo%20Bar&album=Baz&title="
            "Qux%20%26%20Co HTTP/1.1\r\nHost: localhost\r\n"
            "User-Agent: Winamp Tunebeacon\r\n\r\n");
  EXPECT_EQ(Checks(), 1);
}

// Entries a Western code page cannot hold.
const std::vector<FakeEntry>& ScriptEntries() {
  static const std::vector<FakeEntry> entries = {
      testing_support::ScriptEntry(L"宇多田ヒカル", L"初恋", L"初恋"),
      testing_support::ScriptEntry(L"فيروز", L"وحدن", L"نسم علينا الهوى"),
      testing_support::ScriptEntry(L"Confetti", L"Fireworks", L"Party 🎉🔥 Time"),
  };
  return entries;
}

// The default request keeps the ANSI code page: what it cannot hold is "?".
TEST_F(DllTrigger, EveryScriptGoesInTheAnsiCodePageByDefault) {
  if (GetACP() != 1252) GTEST_SKIP() << "expects Windows-1252";
  const std::vector<std::string> lines = PlayEach(ScriptEntries());
  const std::vector<std::string> expected = {
      "GET /set_current_song.php?artist=%3F%3F%3F%3F%3F%3F&album=%3F%3F"
      "&title=%3F%3F HTTP/1.1",
      "GET /set_current_song.php?artist=%3F%3F%3F%3F%3F&album=%3F%3F%3F%3F"
      "&title=%3F%3F%3F%20%3F%3F%3F%3F%3F%20%3F%3F%3F%3F%3F HTTP/1.1",
      "GET /set_current_song.php?artist=Confetti&album=Fireworks"
      "&title=Party%20%3F%3F%3F%3F%20Time HTTP/1.1"};
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(player.CountCommand(plugin::kCommandPlaylistTitleWide), 0);
}

class DllTriggerUtf8 : public DllTrigger {
 protected:
  std::string RequestPath() const override {
    return "/set_current_song.php?charset=utf-8&artist=%s&album=%s&title=%s";
  }
};

TEST_F(DllTriggerUtf8, EveryScriptGoesAsUtf8WithTheMarker) {
  std::vector<std::string> lines = PlayEach(ScriptEntries());
  EXPECT_EQ(player.CountCommand(plugin::kCommandPlaylistTitle), 0);

  // A player that knows no wide title: its narrow one, from Windows-1252.
  FakeEntry older = Entry("Les \xC9toiles - Caf\xE9");
  older.file_name = L"C:\\Music\\cafe.mp3";
  older.artist = L"Les \u00C9toiles";
  older.album = L"\u00C0 la carte";
  player.answer_wide_title_with_zero = true;
  player.Play(older);
  player.ClearLog();
  RunIdleThreads(1);
  ASSERT_TRUE(PumpUntil([&] { return listener.request_count() == 4; }, 5000));
  EXPECT_EQ(player.CountCommand(plugin::kCommandPlaylistTitleWide), 1);
  EXPECT_EQ(player.CountCommand(plugin::kCommandPlaylistTitle), 1);
  const std::string last = listener.requests()[3];
  lines.push_back(last.substr(0, last.find('\r')));

  const std::string path = "GET /set_current_song.php?charset=utf-8";
  std::vector<std::string> expected = {
      path +
          "&artist=%E5%AE%87%E5%A4%9A%E7%94%B0%E3%83%92%E3%82%AB%E3%83%AB"
          "&album=%E5%88%9D%E6%81%8B&title=%E5%88%9D%E6%81%8B HTTP/1.1",
      path +
          "&artist=%D9%81%D9%8A%D8%B1%D9%88%D8%B2"
          "&album=%D9%88%D8%AD%D8%AF%D9%86"
          "&title=%D9%86%D8%B3%D9%85%20%D8%B9%D9%84%D9%8A%D9%86%D8%A7"
          "%20%D8%A7%D9%84%D9%87%D9%88%D9%89 HTTP/1.1",
      path +
          "&artist=Confetti&album=Fireworks"
          "&title=Party%20%F0%9F%8E%89%F0%9F%94%A5%20Time HTTP/1.1",
      path +
          "&artist=Les%20%C3%89toiles&album=%C3%80%20la%20carte"
          "&title=Caf%C3%A9 HTTP/1.1"};
  if (GetACP() != 1252) expected.back() = lines.back();
  EXPECT_EQ(lines, expected);
}

TEST_F(DllTrigger, TenNotificationsWithinASecondGiveOneCheckASecondLater) {
  WaitOutArming();
  const ULONGLONG start = GetTickCount64();
  RunIdleThreads(5);
  ASSERT_TRUE(PumpUntil([&] { return Checks() == 1; }, 5000));
  const ULONGLONG delay = GetTickCount64() - start;
  EXPECT_GE(delay, 900u);
  EXPECT_LE(delay, 3000u);
  PumpMessages(2000);
  EXPECT_EQ(Checks(), 1);
  EXPECT_EQ(listener.request_count(), 1u);
}

TEST_F(DllTrigger, NotificationsBeforeArmingScheduleNothing) {
  for (int i = 0; i < 10; ++i) {
    RunIdleThreads(2);
    PumpMessages(300);
  }
  PumpMessages(3000);  // past the arming, with no thread activity since
  EXPECT_EQ(Checks(), 0);
  EXPECT_EQ(listener.request_count(), 0u);
}

TEST_F(DllTrigger, WithoutThreadActivityNoCheckRuns) {
  WaitOutArming();
  RunIdleThreads(1);
  ASSERT_TRUE(PumpUntil([&] { return listener.request_count() == 1; }, 5000));
  player.Play(Entry("Another Title"));
  player.ClearLog();
  PumpMessages(3000);
  EXPECT_EQ(Checks(), 0);
  RunIdleThreads(1);
  ASSERT_TRUE(PumpUntil([&] { return listener.request_count() == 2; }, 5000));
  EXPECT_NE(listener.requests()[1].find("title=Another%20Title "),
            std::string::npos);
}

TEST_F(DllTrigger, TheSameTitleIsReportedOnce) {
  WaitOutArming();
  for (int i = 0; i < 3; ++i) {
    RunIdleThreads(1);
    PumpMessages(1500);
  }
  EXPECT_EQ(Checks(), 3);
  EXPECT_EQ(listener.request_count(), 1u);
}

TEST_F(DllTrigger, ACheckTimerThatFailsToStartIsSetAtTheNextNotification) {
  const ImportPatch patch(host.module(), "user32.dll", "SetTimer",
                          reinterpret_cast<void*>(SetTimerThatCanFail));
  ASSERT_TRUE(patch.ok());
  WaitOutArming();
  check_timers_failed = 0;
  check_timers_to_fail = 1;
  // Its start fails the check timer; its end must set it.
  RunIdleThreads(1);
  EXPECT_EQ(check_timers_failed, 1);
  ASSERT_TRUE(PumpUntil([&] { return listener.request_count() == 1; }, 5000));
  EXPECT_EQ(Checks(), 1);
}

// Several threads start and end thousands of threads while the main thread
// runs checks; afterwards one more notification must still yield a check.
DWORD WINAPI StormThread(LPVOID) {
  RunIdleThreads(600);
  return 0;
}

TEST_F(DllTrigger, AStormNeverLeavesACheckStuck) {
  WaitOutArming();
  HANDLE storm[4];
  const ULONGLONG start = GetTickCount64();
  for (HANDLE& thread : storm) {
    thread = CreateThread(nullptr, 0, StormThread, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
  }
  while (MsgWaitForMultipleObjects(4, storm, TRUE, 20, QS_ALLINPUT) !=
         WAIT_OBJECT_0) {
    PumpMessages(0);
  }
  const ULONGLONG storm_ms = GetTickCount64() - start;
  for (HANDLE thread : storm) CloseHandle(thread);
  PumpMessages(1500);
  // At most one check outstanding: no more checks than seconds of storm.
  EXPECT_LE(Checks(), static_cast<int>(storm_ms / 1000) + 2);
  EXPECT_GE(Checks(), 1);

  player.ClearLog();
  RunIdleThreads(1);
  EXPECT_TRUE(PumpUntil([&] { return Checks() == 1; }, 3000));
}

}  // namespace
