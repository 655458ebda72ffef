#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "receiver/services/answers.h"
#include "receiver/services/outgoing.h"

// One target's requests and failure state: what to send next, when, and
// what to tell the user about it. Pure: the caller gives the time.
namespace receiver {

class TargetQueue {
 public:
  using Time = std::chrono::steady_clock::time_point;

  // What a target sends: songs, with the user's credentials, or the covers'
  // lookups, which have none: there a 401 or 403 is a miss like a 404.
  enum class Kind { kSongs, kCovers };

  // `name` as the user reads it: "Icecast", "SHOUTcast", "ListenBrainz",
  // "webhook discord", "MusicBrainz"... `spacing`: the least time from one
  // answer to the next request (MusicBrainz takes one a second).
  explicit TargetQueue(std::string name, std::chrono::milliseconds spacing = {},
                       Kind kind = Kind::kSongs);

  // Playing now: replaces what still waits (not what is in flight).
  void Latest(Outgoing request);
  // A latest request goes once: one that failed is not sent again.
  void LatestOnce() { latest_once_ = true; }

  // Kept ones (listens) go by id, in order, until the service takes them,
  // as many a request as `make` puts in it: given the ids that wait, oldest
  // first, it takes at least one and at most `most` from the front, says how
  // many, and returns their request.
  using MakeKept =
      std::function<Outgoing(const std::deque<std::string>& ids,
                             std::size_t most, std::size_t& taken)>;
  void KeepWith(MakeKept make);  // before the first Keep
  void Keep(std::string id);
  // Ids settled otherwise leave the queue; one in flight is not sent again.
  void Forget(const std::vector<std::string>& ids);

  // The next request when one is due and none is in flight; it is then in
  // flight. The latest song goes before kept ones.
  std::optional<Outgoing> Next(Time now);

  struct Outcome {
    Verdict verdict = Verdict::kDone;
    // For the user, at most once per kind of failure, and once when the
    // target works again after a failure it told of.
    std::optional<std::string> notice;
    bool notice_is_error = true;
    // The kept ids that leave the queue (taken, or rejected for good):
    // remove them from disk.
    std::vector<std::string> settled;
  };
  // The answer to what Next gave. Kept ids stay on kRetry, kRefused and
  // kRedirected, and those of a rejected request of several go again one at
  // a time, so that only what the service refuses is dropped; a latest one
  // stays on kRetry, kRefused and kRedirected unless a newer one came
  // meanwhile.
  Outcome Answered(Time now, const Reply& reply);
  // An answer that came but is of no use (no search result, a cover over
  // the limit): settled as a rejection, `what` told once ("'s answer ...").
  Outcome Unusable(Time now, const std::string& what);

  // When Next may give something; nullopt while one is in flight, when
  // nothing waits, or after a refusal until Reset.
  std::optional<Time> Due() const;
  bool InFlight() const { return in_flight_ != Flight::kNone; }
  // The number of kept ids, those in flight included.
  std::size_t KeptCount() const {
    return kept_.size() + kept_in_flight_.size();
  }
  // Whether a latest request for `url` waits or is in flight.
  bool Holds(const std::string& url) const;
  // The settings were saved: failures, waits and a refusal are forgotten;
  // what waits stays.
  void Reset();

  // How the target fares, for the control page: as its last answer left it,
  // with what went wrong, until an answer says otherwise. A covers' target
  // that finds no cover works.
  enum class Health { kWaiting, kWorking, kFailing, kRefused, kRedirected };
  Health health() const { return health_; }
  // While not working, e.g. "Icecast cannot be reached: ...; trying again".
  const std::string& problem() const { return problem_; }

 private:
  enum class Flight { kNone, kLatest, kKept };
  enum class Trouble {
    kUnreachable,
    kCertificate,
    kServer,
    kRejected,
    kUnusable
  };

  std::optional<std::string> Tell(Trouble trouble, std::string text);
  // Sets the health, and the problem to the name and `text`; returns `text`.
  std::string Fare(Health health, std::string text);
  // What is not sent after a rejection, for the user.
  std::string NotSent(Flight flight) const;

  std::string name_;
  std::chrono::milliseconds spacing_;
  Kind kind_;
  std::optional<Outgoing> latest_;
  std::optional<Outgoing> latest_in_flight_;
  bool latest_once_ = false;
  MakeKept make_kept_;
  std::deque<std::string> kept_;
  std::vector<std::string> kept_in_flight_;
  std::set<std::string> alone_;  // from a rejected request of several
  Flight in_flight_ = Flight::kNone;
  int failures_ = 0;
  Time not_before_{};
  bool refused_ = false;
  std::set<Trouble> told_;
  Health health_ = Health::kWaiting;
  std::string problem_;
};

}  // namespace receiver
