#include "receiver/lastfm/lastfm_connect.h"

#include <utility>

#include "receiver/lastfm/lastfm_calls.h"

namespace receiver {

namespace {

// The token has not been allowed yet; it expired; it is not valid.
constexpr int kNotAllowedYet = 14;

std::string Said(const Reply& reply) {
  if (!reply.answered) return "cannot be reached: " + reply.failure;
  const LastFmError error = LastFmErrorOf(reply.body);
  if (error.code == 0) {
    return "answered HTTP " + std::to_string(reply.status) +
           " with no token or session";
  }
  return "answered error " + std::to_string(error.code) +
         (error.message.empty() ? "" : ": " + error.message);
}

}  // namespace

void LastFmConnect::Start(const LastFmSettings& settings, Time now) {
  settings_ = settings;
  ++attempt_;
  stage_ = Stage::kToken;
  in_flight_ = false;
  token_.clear();
  page_.clear();
  problem_.clear();
  next_ = now;
  deadline_ = now + kGiveUpAfter;
}

void LastFmConnect::Stop() {
  stage_ = Stage::kIdle;
  in_flight_ = false;
  page_.clear();
}

std::optional<Outgoing> LastFmConnect::Next(Time now) {
  const std::optional<Time> due = Due();
  if (!due || now < *due) return std::nullopt;
  in_flight_ = true;
  return stage_ == Stage::kToken ? LastFmGetToken(settings_)
                                 : LastFmGetSession(settings_, token_);
}

std::optional<LastFmConnect::Time> LastFmConnect::Due() const {
  if (stage_ == Stage::kIdle || in_flight_) return std::nullopt;
  return next_;
}

void LastFmConnect::Fail(std::string problem) {
  Stop();
  problem_ = std::move(problem);
}

LastFmConnect::Step LastFmConnect::Answered(const Reply& reply, Time now) {
  Step step;
  if (!in_flight_) return step;
  in_flight_ = false;
  step.changed = true;
  const Reply judged = LastFmJudged(reply);
  const LastFmError error = LastFmErrorOf(reply.body);
  const bool again = Judge(judged) == Verdict::kRetry;
  if (stage_ == Stage::kToken) {
    std::optional<std::string> token =
        Readable(judged) ? LastFmToken(reply.body) : std::nullopt;
    if (!token) {
      Fail("Last.fm " + Said(reply) + "; connect again");
      return step;
    }
    token_ = std::move(*token);
    page_ = LastFmAuthPage(settings_, token_);
    stage_ = Stage::kWaiting;
    next_ = now + kAskEvery;
    return step;
  }
  if (Readable(judged)) {
    if (std::optional<LastFmSession> session = LastFmSessionOf(reply.body)) {
      Stop();
      step.session = std::move(session);
      return step;
    }
  }
  if (now >= deadline_) {
    Fail("Last.fm was not allowed within an hour; connect again");
  } else if (error.code == kNotAllowedYet || again) {
    // Not yet, or the service is away for now: ask again in a while.
    step.changed = false;
    next_ = now + kAskEvery;
  } else {
    Fail("Last.fm " + Said(reply) + "; connect again");
  }
  return step;
}

}  // namespace receiver
