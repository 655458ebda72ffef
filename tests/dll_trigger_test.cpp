// Thread starts and ends in the host process, after the arming delay, lead
// the real DLL to one check a second later and to the report on the wire.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "plugin/host_interface.h"
#include "plugin/trigger.h"
#include "tests/support/fake_player.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/plugin_host.h"
#include "tests/support/test_files.h"

namespace {

using testing_support::FakeEntry;
using testing_support::PumpMessages;
using testing_support::PumpUntil;
using testing_support::RunIdleThreads;

// Points the shipped DLL's import of `function` at `replacement` meanwhile.
class ImportPatch {
 public:
  ImportPatch(HMODULE module, const char* dll, const char* function,
              void* replacement) {
    BYTE* const base = reinterpret_cast<BYTE*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
             base + directory.VirtualAddress);
         entry->Name != 0; ++entry) {
      if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), dll) !=
              0 ||
          entry->OriginalFirstThunk == 0) {
        continue;
      }
      const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
          base + entry->OriginalFirstThunk);
      auto* addresses =
          reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
      for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
        const auto* name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(
            base + names->u1.AddressOfData);
        if (std::strcmp(reinterpret_cast<const char*>(name->Name), function) ==
            0) {
          slot_ = &addresses->u1.Function;
        }
      }
    }
    if (slot_ == nullptr) return;
    original_ = *slot_;
    Write(reinterpret_cast<ULONG_PTR>(replacement));
  }
  ~ImportPatch() {
    if (slot_ != nullptr) Write(original_);
  }
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;
  bool ok() const { return slot_ != nullptr; }

 private:
  void Write(ULONG_PTR value) {
    DWORD protection = 0;
    VirtualProtect(slot_, sizeof(*slot_), PAGE_READWRITE, &protection);
    *slot_ = value;
    VirtualProtect(slot_, sizeof(*slot_), protection, &protection);
  }

  decltype(IMAGE_THUNK_DATA::u1.Function)* slot_ = nullptr;
  ULONG_PTR original_ = 0;
};

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
