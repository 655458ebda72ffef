#include "receiver/web/request_head.h"

#include "receiver/system/ascii.h"

namespace receiver {

HeadScan ScanHead(std::string_view received, std::size_t limit,
                  const HeadScan& previous) {
  HeadScan scan = previous;
  if (scan.state != HeadState::kIncomplete) scan = HeadScan();
  if (scan.scanned == 0) {
    // A lone CR may still become the empty line that is skipped.
    if (received.empty() || received == "\r") return scan;
    if (received.substr(0, 2) == "\r\n") {
      scan.begin = 2;
    } else if (received.front() == '\n') {
      scan.begin = 1;
    }
    scan.line = scan.begin;
    scan.scanned = scan.begin;
  }
  while (true) {
    const std::size_t line_end = received.find('\n', scan.scanned);
    if (line_end == std::string_view::npos) {
      scan.scanned = received.size();
      break;
    }
    const std::string_view line =
        received.substr(scan.line, line_end - scan.line);
    if (scan.line > scan.begin && (line.empty() || line == "\r")) {
      scan.state = HeadState::kComplete;
      scan.end = line_end + 1;
      break;
    }
    scan.line = line_end + 1;
    scan.scanned = scan.line;
  }
  const std::size_t size =
      (scan.state == HeadState::kComplete ? scan.end : received.size()) -
      scan.begin;
  if (size > limit) {
    const std::size_t first_end = received.find('\n', scan.begin);
    scan.state =
        first_end == std::string_view::npos || first_end - scan.begin >= limit
            ? HeadState::kLineTooLong
            : HeadState::kTooLarge;
  }
  return scan;
}

std::string WithCrLf(std::string_view head) {
  std::string out;
  out.reserve(head.size() + head.size() / 16 + 4);
  for (std::size_t i = 0; i < head.size(); ++i) {
    if (head[i] == '\n' && (i == 0 || head[i - 1] != '\r')) out += '\r';
    out += head[i];
  }
  return out;
}

OriginTarget ToOriginForm(std::string_view target) {
  std::size_t scheme = 0;
  if (StartsWithAscii(target, "http://")) {
    scheme = 7;
  } else if (StartsWithAscii(target, "https://")) {
    scheme = 8;
  } else {
    return {std::string(target), {}, false};
  }
  const std::string_view rest = target.substr(scheme);
  const std::size_t path = rest.find_first_of("/?");
  OriginTarget origin;
  origin.absolute = true;
  origin.authority = rest.substr(0, path);
  // An authority may carry "user@" before the host; the host is what counts.
  const std::size_t at = origin.authority.rfind('@');
  if (at != std::string_view::npos) {
    origin.authority.remove_prefix(at + 1);
  }
  const std::string_view path_and_query =
      path == std::string_view::npos ? std::string_view() : rest.substr(path);
  // "http://host" and "http://host?x" name the root.
  if (path_and_query.empty() || path_and_query.front() == '?') {
    origin.target = "/";
  }
  origin.target += path_and_query;
  return origin;
}

}  // namespace receiver
