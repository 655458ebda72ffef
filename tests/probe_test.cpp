#include "report/probe.h"

#include <gtest/gtest.h>

#include "plugin/host_interface.h"
#include "settings/settings_store.h"
#include "tests/support/fake_player.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/test_files.h"

namespace {

using report::RunProbe;
using report::TrackState;
using testing_support::FakeEntry;
using testing_support::FakePlayer;
using testing_support::LoopbackListener;

class Probe : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(listener.ok());
    ASSERT_NE(player.window(), nullptr);
    plugin::host_window = player.window();
    TrackState = report::TrackStrings();
    testing_support::WriteSettingsFile(folder, "127.0.0.1",
                                       std::to_string(listener.port()),
                                       "/r?a=%s&b=%s&t=%s");
    settings::LoadSettings(folder.path().c_str());
  }
  void TearDown() override { plugin::host_window = nullptr; }

  static FakeEntry Entry(const std::string& title,
                         const std::wstring& artist = L"",
                         const std::wstring& album = L"") {
    FakeEntry entry;
    entry.title = title;
    entry.file_name =
        L"C:\\Music\\" + std::wstring(title.begin(), title.end()) + L".mp3";
    entry.artist = artist;
    entry.album = album;
    return entry;
  }
  // Runs one probe and says whether it sent a report.
  bool ProbeReports() {
    const std::size_t before = listener.request_count();
    RunProbe();
    // The send completes inside RunProbe; the listener only has to see it.
    return listener.WaitForRequests(before + 1, 300);
  }

  FakePlayer player;
  LoopbackListener listener;
  testing_support::TempFolder folder;
};

TEST_F(Probe, NothingPlayingAsksOnlyThePlayState) {
  player.Play(Entry("A - B"));
  player.play_state = 0;
  EXPECT_FALSE(ProbeReports());
  EXPECT_EQ(player.commands, std::vector<LPARAM>{plugin::kCommandPlayState});
  EXPECT_EQ(TrackState.last_title, "");
}

TEST_F(Probe, FirstTitleIsNewAndReportedWithItsMetadata) {
  player.Play(Entry("A - B", L"A", L"Album"));
  EXPECT_TRUE(ProbeReports());
  EXPECT_EQ(TrackState.last_title, "A - B");
  EXPECT_EQ(TrackState.artist, "A");
  EXPECT_EQ(TrackState.album, "Album");
  const std::vector<LPARAM> expected = {
      plugin::kCommandPlayState,        plugin::kCommandPlaylistPosition,
      plugin::kCommandPlaylistTitle,    plugin::kCommandPlaylistFileName,
      plugin::kCommandExtendedFileInfo, plugin::kCommandExtendedFileInfo};
  EXPECT_EQ(player.commands, expected);
  EXPECT_EQ(player.fields_asked,
            (std::vector<std::wstring>{L"artist", L"album"}));
}

TEST_F(Probe, ATitleContainedInTheLastOneIsNotNew) {
  player.Play(Entry("Song (Live)"));
  EXPECT_TRUE(ProbeReports());
  player.Play(Entry("Song"));
  EXPECT_FALSE(ProbeReports());
  EXPECT_EQ(TrackState.last_title, "Song (Live)");
  player.Play(Entry("Song (Live) [Remastered]"));
  EXPECT_TRUE(ProbeReports());
}

TEST_F(Probe, EmptyTitleIsNeverNew) {
  player.Play(Entry(""));
  EXPECT_FALSE(ProbeReports());
  EXPECT_EQ(TrackState.last_title, "");
}

TEST_F(Probe, ZeroTitleAnswerEndsTheProbe) {
  player.Play(Entry("A"));
  player.answer_title_with_zero = true;
  EXPECT_FALSE(ProbeReports());
  EXPECT_EQ(player.CountCommand(plugin::kCommandPlaylistFileName), 0);
  EXPECT_EQ(TrackState.last_title, "");
}

TEST_F(Probe, SameTitleRefreshesMetadataButSendsNothing) {
  player.Play(Entry("Same", L"First", L"One"));
  EXPECT_TRUE(ProbeReports());
  player.playlist[0].artist = L"Second";
  player.playlist[0].album = L"Two";
  EXPECT_FALSE(ProbeReports());
  EXPECT_EQ(TrackState.artist, "Second");
  EXPECT_EQ(TrackState.album, "Two");
}

TEST_F(Probe, EntryWithoutFileNameKeepsTheEarlierMetadata) {
  player.Play(Entry("First", L"Artist", L"Album"));
  EXPECT_TRUE(ProbeReports());
  FakeEntry bare = Entry("Artist - Second");
  bare.has_file_name = false;
  player.Play(bare);
  EXPECT_TRUE(ProbeReports());
  EXPECT_EQ(player.CountCommand(plugin::kCommandExtendedFileInfo), 2);
  EXPECT_EQ(TrackState.artist, "Artist");
  EXPECT_EQ(listener.requests().back().substr(0, 39),
            "GET /r?a=Artist&b=Album&t=Second HTTP/1");

  FakeEntry empty_name = Entry("Third");
  empty_name.file_name = L"";
  player.Play(empty_name);
  EXPECT_TRUE(ProbeReports());
  EXPECT_EQ(TrackState.album, "Album");
}

TEST_F(Probe, MetadataArrivesInTheAnsiCodePage) {
  player.Play(Entry("Cafe", L"Caf\u00e9", L"\u65e5\u672c"));
  EXPECT_TRUE(ProbeReports());
  EXPECT_EQ(TrackState.artist, "Caf\xE9");
  EXPECT_EQ(TrackState.album, "??");
  EXPECT_NE(listener.requests().back().find("a=Caf%E9&b=%3F%3F&t=Cafe "),
            std::string::npos);
}

TEST_F(Probe, FullAnswerBuffersWithoutATerminatorAreBounded) {
  player.Play(Entry("Full"));
  player.fill_answer_without_zero = true;
  EXPECT_TRUE(ProbeReports());
  EXPECT_EQ(TrackState.artist, std::string(1024, 'x'));
  EXPECT_EQ(TrackState.album, std::string(1024, 'x'));
}

TEST_F(Probe, UntouchedAnswerBuffersGiveEmptyValues) {
  player.Play(Entry("Untouched", L"A", L"B"));
  player.leave_answer_untouched = true;
  EXPECT_TRUE(ProbeReports());
  EXPECT_EQ(TrackState.artist, "");
  EXPECT_EQ(TrackState.album, "");
}

TEST_F(Probe, TheCurrentPositionIsAsked) {
  player.playlist = {Entry("Zero"), Entry("One"), Entry("Two")};
  player.position = 2;
  EXPECT_TRUE(ProbeReports());
  EXPECT_EQ(TrackState.last_title, "Two");
}

TEST_F(Probe, AHundredKilobyteTitleIsReportedWhole) {
  const std::string title(100 * 1024, 't');
  player.Play(Entry(title));
  EXPECT_TRUE(ProbeReports());
  EXPECT_NE(listener.requests().back().find("&t=" + title + " HTTP/1.1\r\n"),
            std::string::npos);
}

TEST_F(Probe, APlayerWindowThatVanishedGivesNothing) {
  player.Play(Entry("Gone"));
  {
    FakePlayer gone;
    plugin::host_window = gone.window();
  }
  EXPECT_FALSE(ProbeReports());
  EXPECT_EQ(TrackState.last_title, "");
  EXPECT_TRUE(player.commands.empty());
}

TEST(WideToNarrow, ConvertsUpToTheFirstZero) {
  EXPECT_EQ(report::WideToNarrow(L"abc", CP_ACP), "abc");
  EXPECT_EQ(report::WideToNarrow(L"", CP_ACP), "");
  EXPECT_EQ(report::WideToNarrow(L"\u00fc\u20ac\u0416", CP_ACP), "\xFC\x80?");
}

}  // namespace
