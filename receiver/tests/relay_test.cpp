#include "receiver/services/relay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#include "tests/support/test_files.h"

namespace receiver {
namespace {

TEST(Relay, CommandsPostedFromSeveralThreadsEachRunOnce) {
  const testing_support::TempFolder folder;
  const std::string placeholder = folder.File("placeholder.gif");
  ASSERT_TRUE(testing_support::WriteBytes(placeholder, "GIF89a\1\0\1\0"));
  TargetSettings settings;
  settings.covers.enabled = true;
  settings.covers.placeholder = placeholder;
  // Lengths are looked up too: nowhere but this PC.
  settings.covers.musicbrainz = "http://127.0.0.1:9";
  std::mutex lock;
  std::vector<std::uint64_t> shown;
  RelayHooks hooks;
  // A song without an album shows the placeholder at once: one call each.
  hooks.cover = [&](FoundCover found) {
    const std::lock_guard<std::mutex> hold(lock);
    shown.push_back(found.song_number);
  };
  Relay relay(std::wstring(folder.path().begin(), folder.path().end()),
              settings, hooks);
  ASSERT_TRUE(relay.started());
  constexpr int kThreads = 4;
  constexpr int kSongs = 250;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&relay, t] {
      for (int i = 0; i < kSongs; ++i) {
        Song song;
        song.artist = "Artist";
        song.title = "Title " + std::to_string(i);
        relay.Song(song, static_cast<std::uint64_t>(t * kSongs + i + 1), 1000);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  relay.Finish(1000, 10000);
  const std::lock_guard<std::mutex> hold(lock);
  std::sort(shown.begin(), shown.end());
  std::vector<std::uint64_t> each(kThreads * kSongs);
  std::iota(each.begin(), each.end(), 1);
  EXPECT_EQ(shown, each);
}

}  // namespace
}  // namespace receiver
