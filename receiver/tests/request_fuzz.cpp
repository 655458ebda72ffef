// Any bytes as the start of a request: the head scan agrees with itself when
// fed in pieces, stays within the bytes and the limit, and what it hands the
// parser ends every line in CR LF. Host names and targets taken from the same
// bytes keep their promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "receiver/web/host_check.h"
#include "receiver/web/request_head.h"

namespace {

constexpr std::size_t kLimit = 512;

void CheckHead(std::string_view input) {
  const receiver::HeadScan whole = receiver::ScanHead(input, kLimit);
  receiver::HeadScan pieces;
  std::size_t size = 0;
  while (pieces.state == receiver::HeadState::kIncomplete &&
         size < input.size()) {
    size = size + 1 + size / 3;
    if (size > input.size()) size = input.size();
    pieces = receiver::ScanHead(input.substr(0, size), kLimit, pieces);
  }
  if (pieces.state != whole.state) abort();
  if (whole.state != receiver::HeadState::kComplete) return;
  if (pieces.begin != whole.begin || pieces.end != whole.end) abort();
  if (whole.begin > 2 || whole.end > input.size() || whole.begin >= whole.end ||
      whole.end - whole.begin > kLimit) {
    abort();
  }
  const std::string head =
      receiver::WithCrLf(input.substr(whole.begin, whole.end - whole.begin));
  if (head.size() < 4 || head.compare(head.size() - 4, 4, "\r\n\r\n") != 0) {
    abort();
  }
  for (std::size_t i = 0; i < head.size(); ++i) {
    if (head[i] == '\n' && (i == 0 || head[i - 1] != '\r')) abort();
  }
  if (receiver::WithCrLf(head) != head) abort();
}

void CheckHost(std::string_view input) {
  const std::string name = receiver::HostName(input);
  if (name.size() > input.size()) abort();
  for (const char c : name) {
    if (c >= 'A' && c <= 'Z') abort();
  }
  if (!name.empty() && receiver::HostName(name) != name) abort();
  const receiver::HostCheck check({});
  // A name that is no IP address and not localhost is never let through.
  if (check.Allows(input, false) !=
      (!name.empty() && (receiver::IsIpLiteral(name) || name == "localhost"))) {
    abort();
  }
  if (receiver::PrintableHost(input).size() > 103) abort();
}

void CheckTarget(std::string_view input) {
  const receiver::OriginTarget origin = receiver::ToOriginForm(input);
  if (!origin.absolute) {
    if (origin.target != input || !origin.authority.empty()) abort();
    return;
  }
  if (origin.target.empty() || origin.target.front() != '/') abort();
  if (origin.authority.find_first_of("/?@") != std::string_view::npos) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckHead(input);
  CheckHost(input);
  CheckTarget(input);
  return 0;
}
