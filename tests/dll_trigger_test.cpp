// Thread starts and ends in the host process, after the arming delay, lead
// the real DLL to one check a second later and to the report on the wire.
#include <gtest/gtest.h>

#include "plugin/host_interface.h"
#include "tests/support/fake_player.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/plugin_host.h"
#include "tests/support/test_files.h"

namespace {

using testing_support::FakeEntry;
using testing_support::PumpMessages;
using testing_support::PumpUntil;
using testing_support::RunIdleThreads;

class DllTrigger : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(listener.ok());
    ASSERT_TRUE(testing_support::WriteSettingsFile(
        folder, "localhost", std::to_string(listener.port()),
        "/set_current_song.php?artist=%s&album=%s&title=%s"));
    player.settings_folder = folder.path();
    player.Play(Entry("Foo Bar - Qux & Co"));
    ASSERT_TRUE(host.Load());
    host.Init(player.window());
  }
  void TearDown() override { host.Free(); }

  static FakeEntry Entry(const std::string& title) {
    return {title, L"C:\\Music\\" + std::wstring(title.begin(), title.end()),
            L"Foo Bar", L"Baz", true};
  }
  void WaitOutArming() {
    PumpMessages(4300);
    player.ClearLog();
  }
  int Checks() const { return player.CountCommand(plugin::kCommandPlayState); }

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
