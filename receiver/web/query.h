#pragma once

#include <optional>
#include <string>
#include <string_view>

// The request target and its query, taken apart as the PHP receiver does:
// %XX gives byte XX, '+' a space (as a form encoder writes it; the plug-in
// writes a plus sign as %2B), every other character stays as it is.
namespace receiver {

struct Target {
  std::string_view path;
  std::string_view query;
};

Target SplitTarget(std::string_view target);

std::string PercentDecode(std::string_view text);

// Whether the query names `name` (with or without a value).
bool HasQueryName(std::string_view query, std::string_view name);

// Whether the query has charset=utf-8 (name and value in any case; the
// first charset decides): the report's values are UTF-8, not in the
// sender's code page.
bool SaysUtf8(std::string_view query);

// The raw bytes of a report, still in the sender's code page.
struct ReportBytes {
  std::string artist;
  std::string album;
  std::string title;
};

// The first value of artist, album and title, each percent-decoded; a
// missing one is empty. None of the three: no report at all.
std::optional<ReportBytes> ParseReportQuery(std::string_view query);

// The first value given for `name`, percent-decoded; nothing when the query
// does not name it.
std::optional<std::string> QueryValue(std::string_view query,
                                      std::string_view name);

}  // namespace receiver
