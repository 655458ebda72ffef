#include "receiver/system/line_queue.h"

#include <gtest/gtest.h>

#include "receiver/system/stall_watch.h"

namespace receiver {
namespace {

std::string Texts(const std::deque<ConsoleLine>& lines) {
  std::string out;
  for (const ConsoleLine& line : lines)
    out += line.text + (line.error ? "!|" : "|");
  return out;
}

TEST(LineQueueTest, InOrderWithTheirStream) {
  LineQueue queue(4);
  EXPECT_TRUE(queue.empty());
  queue.Push({"one", false});
  queue.Push({"two", true});
  EXPECT_FALSE(queue.empty());
  EXPECT_EQ(Texts(queue.TakeAll()), "one|two!|");
  EXPECT_TRUE(queue.empty());
  EXPECT_EQ(Texts(queue.TakeAll()), "");
}

TEST(LineQueueTest, WhenFullTheOldestGoAndTheNextBatchSaysHowMany) {
  LineQueue queue(3);
  for (const char* line : {"1", "2", "3", "4", "5"}) queue.Push({line, false});
  EXPECT_EQ(Texts(queue.TakeAll()),
            "trackwire_receiver: 2 older lines not shown: the console was "
            "not taking output!|3|4|5|");
  queue.Push({"6", false});
  EXPECT_EQ(Texts(queue.TakeAll()), "6|");
}

TEST(StallWatchTest, OnlyTheSameWritePendingAtTwoPingsIsStuck) {
  StallWatch watch;
  EXPECT_FALSE(watch.StuckAtPing(false));
  watch.WriteStarted();
  // A write that happens to be under way at a ping is not a stuck reader.
  EXPECT_FALSE(watch.StuckAtPing(true));
  watch.WriteStarted();
  EXPECT_FALSE(watch.StuckAtPing(true));
  EXPECT_TRUE(watch.StuckAtPing(true));
  StallWatch idle_between;
  idle_between.WriteStarted();
  EXPECT_FALSE(idle_between.StuckAtPing(true));
  EXPECT_FALSE(idle_between.StuckAtPing(false));
  idle_between.WriteStarted();
  EXPECT_FALSE(idle_between.StuckAtPing(true));
}

TEST(StallWatchTest, ASlowReaderThatKeepsReadingIsNeverStuck) {
  StallWatch watch;
  for (int ping = 0; ping < 10; ++ping) {
    watch.WriteStarted();
    EXPECT_FALSE(watch.StuckAtPing(true)) << ping;
  }
  EXPECT_TRUE(watch.StuckAtPing(true));
}

}  // namespace
}  // namespace receiver
