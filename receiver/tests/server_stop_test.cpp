#include "receiver/server/server.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace receiver {
namespace {

TEST(ServerStopTest, ARunThatEndsByAnExceptionLeavesNothingToCall) {
  ServerStop stop;
  int calls = 0;
  try {
    const ServerStop::Armed armed(&stop, [&calls] { ++calls; });
    stop.Stop();
    throw std::runtime_error("the wait for completions failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(calls, 1);
  // The icon's "Exit" after the server is gone: nothing of it is called.
  stop.Stop();
  EXPECT_EQ(calls, 1);
}

TEST(ServerStopTest, AStopAskedBeforeTheRunEndsItAtOnce) {
  ServerStop stop;
  stop.Stop();
  int calls = 0;
  const ServerStop::Armed armed(&stop, [&calls] { ++calls; });
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace receiver
