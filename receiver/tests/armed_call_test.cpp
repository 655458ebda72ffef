#include "receiver/system/armed_call.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace receiver {
namespace {

TEST(ArmedCallTest, ARunThatEndsByAnExceptionLeavesNothingToCall) {
  ArmedCall stop(ArmedCall::kLatched);
  int calls = 0;
  try {
    const ArmedCall::Armed armed(&stop, [&calls] { ++calls; });
    stop.Call();
    throw std::runtime_error("the wait for completions failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(calls, 1);
  // The icon's "Exit" after the server is gone: nothing of it is called.
  stop.Call();
  EXPECT_EQ(calls, 1);
}

TEST(ArmedCallTest, OnlyALatchedCallMadeBeforeArmingIsKept) {
  ArmedCall stop(ArmedCall::kLatched);
  ArmedCall clear;
  stop.Call();
  clear.Call();
  int stops = 0;
  int clears = 0;
  const ArmedCall::Armed stop_armed(&stop, [&stops] { ++stops; });
  const ArmedCall::Armed clear_armed(&clear, [&clears] { ++clears; });
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(clears, 0);
}

}  // namespace
}  // namespace receiver
