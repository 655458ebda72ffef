#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

// What a service answered, and what that means for the request.
namespace receiver {

struct Reply {
  bool answered = false;  // false: no HTTP answer at all
  int status = 0;
  // X-RateLimit-Reset-In or Retry-After, in seconds.
  std::optional<long long> wait_seconds;
  std::string failure;       // when !answered: what went wrong, for the user
  bool certificate = false;  // when !answered: the server's certificate
  std::string content_type;
  std::string body;
  bool too_large = false;  // the body was over the limit: none is kept
  // A 3xx of a request that follows no redirect: where it pointed.
  std::optional<std::string> redirect;
  // A refusal in the service's own terms, after its name: what was refused
  // and what the user can do about it.
  std::string refusal = {};
};

enum class Verdict {
  kDone,        // 2xx, 3xx
  kRetry,       // no answer, 5xx, 429, 408
  kRefused,     // 401, 403: the credentials; not again until they change
  kRejected,    // any other answer: this request is not sent again
  kRedirected,  // a redirect not followed: not again until the settings change
};

Verdict Judge(const Reply& reply);

// Whether the answer has a body to read: a 2xx.
bool Readable(const Reply& reply);
// An answer that settles a request, whatever its status said (a lookup's
// 404: nothing there).
Reply Settled();

// The wait after so many failures in a row: 1 s, doubling, at most 300 s;
// none before the first.
std::chrono::seconds BackOff(int failures_in_a_row);

// MusicBrainz's answer to ReleaseGroupSearch: the id of the release group
// with the best score when that is at least 90, else a miss (no id). `ok`
// is false when the bytes are no such answer (worth another try).
struct ReleaseGroupAnswer {
  bool ok = false;
  std::optional<std::string> id;
};

ReleaseGroupAnswer BestReleaseGroup(std::string_view json);

// MusicBrainz's answer to RecordingSearch: the length, in whole seconds, of
// the recording with the best score from 90 that has one, else a miss.
struct RecordingAnswer {
  bool ok = false;
  std::optional<int> seconds;
};

RecordingAnswer BestRecording(std::string_view json);

}  // namespace receiver
