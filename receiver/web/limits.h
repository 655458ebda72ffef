#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

// The server's limits and time-outs, each with its reason.
namespace receiver::limits {

// Request line and fields, counted the same whether lines end in CR LF or LF.
constexpr std::size_t kHeader = 16 * 1024;
// The parser sees the head with every LF made CR LF: twice as long at most.
constexpr std::size_t kParserHeader = 2 * kHeader + 4;
constexpr std::uint64_t kBody = 16 * 1024;
constexpr std::size_t kBuffer = 64 * 1024;
constexpr std::size_t kReadChunk = 4096;
// A request must be whole this long after its connection began to wait.
constexpr auto kRequestTimeout = std::chrono::seconds(5);
constexpr auto kWriteTimeout = std::chrono::seconds(10);
// A control page's call whose work waits for a file answers within this.
constexpr auto kLaterAnswerTimeout = std::chrono::seconds(20);
constexpr auto kDrainTimeout = std::chrono::seconds(1);
// A comment this often keeps proxies from ending an event stream.
constexpr auto kPingInterval = std::chrono::seconds(15);
// Past this many, a new connection makes the longest-idle one go, so that a
// report always finds room however many pages or idle clients are connected.
constexpr std::size_t kConnections = 64;
// Connections in the middle of a request are never closed for a new one;
// they end within kRequestTimeout. Only beyond this is a new one refused.
constexpr std::size_t kHardConnections = 2 * kConnections;
// An overlay needs one or two; when more follow, the oldest goes.
constexpr std::size_t kFollowers = 32;
// A page this far behind is not reading; it reconnects by itself.
constexpr std::size_t kQueuedEvents = 32;

}  // namespace receiver::limits
