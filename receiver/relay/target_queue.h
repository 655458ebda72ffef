#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "receiver/relay/answers.h"
#include "receiver/relay/outgoing.h"

// One target's requests and failure state: what to send next, when, and
// what to tell the user about it. Pure: the caller gives the time.
namespace receiver {

class TargetQueue {
 public:
  using Time = std::chrono::steady_clock::time_point;

  // `name` as the user reads it: "Icecast", "SHOUTcast", "ListenBrainz",
  // "webhook discord", "MusicBrainz"... `spacing`: the least time from one
  // answer to the next request (MusicBrainz takes one a second).
  explicit TargetQueue(std::string name,
                       std::chrono::milliseconds spacing = {});

  // Playing now: replaces what still waits (not what is in flight).
  void Latest(Outgoing request);
  // Kept in order until the service takes it (listens); `id` comes back in
  // Outcome::accepted_id.
  void Keep(Outgoing request, std::string id);

  // The next request when one is due and none is in flight; it is then in
  // flight. The latest song goes before kept ones.
  std::optional<Outgoing> Next(Time now);

  struct Outcome {
    Verdict verdict = Verdict::kDone;
    // For the user, at most once per kind of failure, and once when the
    // target works again after a failure it told of.
    std::optional<std::string> notice;
    bool notice_is_error = true;
    // A kept request that leaves the queue (taken, or rejected for good):
    // remove it from disk.
    std::optional<std::string> accepted_id;
  };
  // The answer to what Next gave. A kept request stays on kRetry and
  // kRefused; a latest one stays on them unless a newer one came meanwhile.
  Outcome Answered(Time now, const Reply& reply);

  // When Next may give something; nullopt while one is in flight, when
  // nothing waits, or after a refusal until Reset.
  std::optional<Time> Due() const;
  bool InFlight() const { return in_flight_ != Flight::kNone; }
  // The number of kept requests, the one in flight included.
  std::size_t KeptCount() const { return kept_.size(); }
  // The settings changed: failures, waits and a refusal are forgotten;
  // what waits stays.
  void Reset();

 private:
  enum class Flight { kNone, kLatest, kKept };
  enum class Trouble { kUnreachable, kCertificate, kServer, kRejected };

  std::optional<std::string> Tell(Trouble trouble, std::string text);

  std::string name_;
  std::chrono::milliseconds spacing_;
  std::optional<Outgoing> latest_;
  std::optional<Outgoing> latest_in_flight_;
  std::deque<std::pair<Outgoing, std::string>> kept_;
  Flight in_flight_ = Flight::kNone;
  int failures_ = 0;
  Time not_before_{};
  bool refused_ = false;
  std::set<Trouble> told_;
};

}  // namespace receiver
