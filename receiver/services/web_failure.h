#pragma once

#include <string>

// What went wrong with a request, in words for the log and the balloons.
namespace receiver {

struct WebFailure {
  std::string text;
  bool certificate = false;  // the server's certificate was refused
};

// A WinHTTP error of a request to `host`. `secure_flags` are those of
// WINHTTP_CALLBACK_STATUS_SECURE_FAILURE, if it came; `connected` whether
// the connection stood (a time-out before that is the connect's);
// `deadline_seconds` the whole request's limit.
WebFailure DescribeWebError(unsigned long error, unsigned long secure_flags,
                            const std::string& host, bool connected,
                            long long deadline_seconds);

// The failure of a request still open at its deadline.
std::string NoAnswerText(long long deadline_seconds);

}  // namespace receiver
