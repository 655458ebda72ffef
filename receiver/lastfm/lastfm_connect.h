#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "receiver/lastfm/lastfm_answers.h"
#include "receiver/services/outgoing.h"
#include "receiver/services/service_settings.h"

namespace receiver {

// How "Connect Last.fm" stands, for the control page.
struct LastFmStatus {
  bool set_up = false;         // a key and a secret in [lastfm]
  bool connected = false;      // and a session
  std::string stage = "idle";  // "idle", "token" or "waiting"
  std::string page;            // while waiting: where the user allows it
  std::string problem;         // why the last try ended without a session
  bool operator==(const LastFmStatus& other) const {
    return set_up == other.set_up && connected == other.connected &&
           stage == other.stage && page == other.page &&
           problem == other.problem;
  }
};

// "Connect Last.fm": a token from auth.getToken, the page where the user
// allows it, then auth.getSession every few seconds until the user has, for
// an hour at most. Pure: the caller sends the requests and gives the time.
class LastFmConnect {
 public:
  using Time = std::chrono::steady_clock::time_point;
  static constexpr std::chrono::seconds kAskEvery{5};
  static constexpr std::chrono::minutes kGiveUpAfter{60};

  enum class Stage { kIdle, kToken, kWaiting };

  // Starts again from a new token, whatever was under way.
  void Start(const LastFmSettings& settings, Time now);
  // Gives up on what is under way: nothing more is due.
  void Stop();
  // Stops, with why for the user.
  void Fail(std::string problem);

  // The request due at `now`, if any; it is then in flight.
  std::optional<Outgoing> Next(Time now);
  // When Next may give something; none while one is in flight or idle.
  std::optional<Time> Due() const;

  // What an answer came to, for the user.
  struct Step {
    bool changed = false;                  // stage, page or problem
    std::optional<LastFmSession> session;  // allowed: store it
  };
  Step Answered(const Reply& reply, Time now);

  Stage stage() const { return stage_; }
  // Counts the starts: the answer to a request of an earlier one (Connect
  // pressed again meanwhile) is not this one's.
  std::uint64_t attempt() const { return attempt_; }
  // While waiting: where the user allows the receiver.
  const std::string& page() const { return page_; }
  // Why the last try ended without a session; empty when it did not.
  const std::string& problem() const { return problem_; }

 private:
  LastFmSettings settings_;
  Stage stage_ = Stage::kIdle;
  bool in_flight_ = false;
  std::string token_;
  std::string page_;
  std::string problem_;
  Time next_{};
  Time deadline_{};
  std::uint64_t attempt_ = 0;
};

}  // namespace receiver
