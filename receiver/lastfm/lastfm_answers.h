#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "receiver/services/answers.h"

// What Last.fm's answers mean: its errors go by their numbers in a JSON
// body ({"error":9,"message":"..."}), whatever the HTTP status says.
namespace receiver {

struct LastFmError {
  int code = 0;  // 0: no error
  std::string message;
};

LastFmError LastFmErrorOf(std::string_view body);

// The answer as TargetQueue judges it: 9 (invalid session) a refusal that
// asks to connect again; 10, 13 and 26 (the key, the signature) a refusal of
// the key or secret; 8, 11 and 16 (failed, offline, unavailable) and 29
// (rate limit) tried again with back-off; any other error rejects the
// request.
Reply LastFmJudged(Reply reply);

// auth.getToken's token, auth.getSession's session.
std::optional<std::string> LastFmToken(std::string_view body);
struct LastFmSession {
  std::string key;
  std::string name;  // the user's
};
std::optional<LastFmSession> LastFmSessionOf(std::string_view body);

}  // namespace receiver
