#include "report/report.h"

#include <gtest/gtest.h>

#include "plugin/host_interface.h"
#include "report/probe.h"
#include "settings/settings_store.h"
#include "tests/support/fake_player.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/test_files.h"

namespace {

using testing_support::FakeEntry;
using testing_support::LoopbackListener;
using testing_support::TempFolder;

class Report : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(listener.ok());
    report::TrackState = report::TrackStrings();
  }
  void UseSettings(const std::string& host, const std::string& port,
                   const std::string& path) {
    ASSERT_TRUE(testing_support::WriteSettingsFile(folder, host, port, path));
    settings::LoadSettings(folder.path().c_str());
  }
  std::string Port() const { return std::to_string(listener.port()); }
  std::string SendOne() {
    report::SendReport();
    if (!listener.WaitForRequests(1, 5000)) return "(nothing arrived)";
    return listener.requests()[0];
  }

  LoopbackListener listener;
  TempFolder folder;
};

TEST_F(Report, DefaultSettingsSendTheFullTrack) {
  UseSettings("localhost", Port(),
              "/set_current_song.php?artist=%s&album=%s&title=%s");
  report::TrackState = {"Foo Bar - Qux & Co", "Foo Bar", "Baz"};
  EXPECT_EQ(SendOne(),
            "GET /set_current_song.php?artist=Foo%20Bar&album=Baz&title="
            "Qux%20%26%20Co HTTP/1.1\r\nHost: localhost\r\n"
            "User-Agent: Winamp Tunebeacon\r\n\r\n");
}

TEST_F(Report, PortTextWithTrailingLettersAndLeadingBlanks) {
  UseSettings("localhost", "  " + Port() + "x", "/p?%s");
  report::TrackState = {"T", "A", "B"};
  EXPECT_EQ(SendOne(),
            "GET /p?A HTTP/1.1\r\nHost: localhost\r\n"
            "User-Agent: Winamp Tunebeacon\r\n\r\n");
}

TEST_F(Report, HostHeaderCarriesTheHostAsConfigured) {
  UseSettings("127.0.0.1", Port(), "/p");
  report::TrackState = {"T", "", ""};
  EXPECT_EQ(SendOne(),
            "GET /p HTTP/1.1\r\nHost: 127.0.0.1\r\n"
            "User-Agent: Winamp Tunebeacon\r\n\r\n");
}

TEST_F(Report, PercentSequencesInThePathStayLiteral) {
  UseSettings("localhost", Port(), "/p?%d=%s&x=%%&%s&%s&%s&%n");
  report::TrackState = {"t", "a", "b"};
  EXPECT_EQ(SendOne().substr(0, 30), "GET /p?%d=a&x=%&b&t&%s&%n HTTP");
}

// The whole road of a check: fake player, probe, settings from a real file,
// the report on the wire.
TEST_F(Report, ANewTitleIsSentOnceEndToEnd) {
  UseSettings("localhost", Port(),
              "/set_current_song.php?artist=%s&album=%s&title=%s");
  testing_support::FakePlayer player;
  plugin::host_window = player.window();
  FakeEntry entry;
  entry.title = "AC/DC - Back In Black";
  entry.file_name = L"C:\\Music\\back.mp3";
  entry.artist = L"AC/DC";
  entry.album = L"Caf\u00e9 & Co";
  player.Play(entry);

  report::RunProbe();
  ASSERT_TRUE(listener.WaitForRequests(1, 5000));
  report::RunProbe();
  Sleep(200);
  plugin::host_window = nullptr;
  ASSERT_EQ(listener.request_count(), 1u);
  EXPECT_EQ(listener.requests()[0],
            "GET /set_current_song.php?artist=AC%2FDC&album=Caf%E9%20%26%20Co"
            "&title=Back%20In%20Black HTTP/1.1\r\nHost: localhost\r\n"
            "User-Agent: Winamp Tunebeacon\r\n\r\n");
}

TEST_F(Report, AFailedSendIsNotRepeated) {
  UseSettings("127.0.0.1",
              std::to_string(testing_support::UnusedLoopbackPort()), "/p");
  report::TrackState = {"T", "", ""};
  report::SendReport();
  EXPECT_EQ(report::TrackState.last_title, "T");
  EXPECT_EQ(listener.request_count(), 0u);
}

}  // namespace
