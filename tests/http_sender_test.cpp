#include "report/http_sender.h"

#include <gtest/gtest.h>

#include "tests/support/loopback_listener.h"

namespace {

using report::SendRequest;
using testing_support::LoopbackListener;

TEST(HttpSender, BytesArriveExactlyAndTheConnectionCloses) {
  LoopbackListener listener;
  ASSERT_TRUE(listener.ok());
  const std::string text = "GET /x HTTP/1.1\r\nHost: h\r\n\r\n\x01\xFF";
  EXPECT_TRUE(SendRequest("127.0.0.1", listener.port(), text.c_str()));
  ASSERT_TRUE(listener.WaitForRequests(1, 5000));
  EXPECT_EQ(listener.requests()[0], text);
}

TEST(HttpSender, LocalhostIsLoopbackWithoutALookup) {
  LoopbackListener listener;
  ASSERT_TRUE(listener.ok());
  EXPECT_TRUE(SendRequest("localhost", listener.port(), "a"));
  ASSERT_TRUE(listener.WaitForRequests(1, 5000));
  EXPECT_EQ(listener.requests()[0], "a");
}

TEST(HttpSender, DottedAddressesAreUsedDirectly) {
  LoopbackListener listener;
  ASSERT_TRUE(listener.ok());
  // 127.1 is a dotted form that inet_addr accepts; no resolver would be asked.
  EXPECT_TRUE(SendRequest("127.0.0.1", listener.port(), "b"));
  EXPECT_TRUE(SendRequest("127.1", listener.port(), "c"));
  ASSERT_TRUE(listener.WaitForRequests(2, 5000));
}

TEST(HttpSender, BroadcastAddressFailsBeforeAnySocket) {
  EXPECT_FALSE(SendRequest("255.255.255.255", 80, "x"));
}

TEST(HttpSender, NamesThatDoNotResolveFail) {
  EXPECT_FALSE(SendRequest("no-such-host.invalid", 80, "x"));
}

TEST(HttpSender, OnlyTheLow16BitsOfThePortCount) {
  LoopbackListener listener;
  ASSERT_TRUE(listener.ok());
  EXPECT_TRUE(SendRequest("127.0.0.1", listener.port() + 65536, "low"));
  EXPECT_TRUE(SendRequest("127.0.0.1", listener.port() - 65536 * 4, "neg"));
  ASSERT_TRUE(listener.WaitForRequests(2, 5000));
  EXPECT_EQ(listener.requests()[0], "low");
}

TEST(HttpSender, PortEightyPlus65536ReachesPortEighty) {
  LoopbackListener listener(80);
  if (!listener.ok()) GTEST_SKIP() << "port 80 cannot be bound here";
  EXPECT_TRUE(SendRequest("localhost", 80 + 65536, "eighty"));
  ASSERT_TRUE(listener.WaitForRequests(1, 5000));
  EXPECT_EQ(listener.requests()[0], "eighty");
}

TEST(HttpSender, RefusedPortGivesFalse) {
  const unsigned short port = testing_support::UnusedLoopbackPort();
  ASSERT_NE(port, 0);
  EXPECT_FALSE(SendRequest("127.0.0.1", port, "x"));
}

TEST(HttpSender, EmptyTextConnectsAndSendsNothing) {
  LoopbackListener listener;
  ASSERT_TRUE(listener.ok());
  EXPECT_TRUE(SendRequest("127.0.0.1", listener.port(), ""));
  ASSERT_TRUE(listener.WaitForRequests(1, 5000));
  EXPECT_EQ(listener.requests()[0], "");
}

TEST(HttpSender, LargeTextsGoInOneSend) {
  LoopbackListener listener;
  ASSERT_TRUE(listener.ok());
  const std::string text(200000, 'q');
  EXPECT_TRUE(SendRequest("127.0.0.1", listener.port(), text.c_str()));
  ASSERT_TRUE(listener.WaitForRequests(1, 5000));
  EXPECT_EQ(listener.requests()[0], text);
}

}  // namespace
