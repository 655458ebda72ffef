#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A request's head before the HTTP parser sees it: lines may end in CR LF or
// in a bare LF (RFC 9112 section 2.2), as senders built to the plug-in's
// request design do, and one empty line may come before the request line.
namespace receiver {

enum class HeadState { kIncomplete, kComplete, kLineTooLong, kTooLarge };

struct HeadScan {
  HeadState state = HeadState::kIncomplete;
  std::size_t begin = 0;  // after the one empty line that may come first
  std::size_t end = 0;    // after the empty line that ends the head
  // Where an incomplete head's last line begins and how far it was read.
  std::size_t line = 0;
  std::size_t scanned = 0;
};

// Where the head is in what has been received so far. A head, from the
// request line to its closing empty line, may take `limit` bytes; a request
// line that alone is longer is too long a line (414), else the head is too
// large (431). `previous`, the scan of a shorter part of the same bytes,
// saves scanning the same lines again.
HeadScan ScanHead(std::string_view received, std::size_t limit,
                  const HeadScan& previous = {});

// The head with every line ending in CR LF.
std::string WithCrLf(std::string_view head);

struct OriginTarget {
  std::string target;          // "/path?query" or "*"
  std::string_view authority;  // from an absolute-form target only
  bool absolute = false;
};

// "http://host:port/path?query" (RFC 9112 section 3.2.2) as "/path?query"
// and its authority; other targets as they are.
OriginTarget ToOriginForm(std::string_view target);

}  // namespace receiver
