#include "receiver/services/target_queue.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace receiver {

namespace {

constexpr std::string_view kPrefix = "trackwire_receiver: ";
constexpr std::size_t kMaxReason = 200;

// The section of trackwire_receiver.ini that holds a target's settings.
std::string Section(const std::string& name) {
  if (name == "ListenBrainz") return "[listenbrainz]";
  if (name == "Icecast") return "[icecast]";
  if (name == "SHOUTcast") return "[shoutcast]";
  if (name.compare(0, 8, "webhook ") == 0) return "[" + name + "]";
  return "its section";
}

// What to check after a refusal, by the target's name.
std::string CredentialsHint(const std::string& name) {
  if (name == "ListenBrainz") return "the token in [listenbrainz]";
  if (name == "Icecast") return "the user and password in [icecast]";
  if (name == "SHOUTcast") return "the password in [shoutcast]";
  if (name.compare(0, 8, "webhook ") == 0) {
    return "the url and headers in [" + name + "]";
  }
  return "its settings";
}

// A service's text as part of a notice's one line: no control characters,
// not too long.
std::string OneLine(std::string text) {
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = ' ';
  }
  if (text.size() > kMaxReason) text = text.substr(0, kMaxReason) + "...";
  return text;
}

// Where a redirect points, without its path and query: they may hold the
// secrets of the address it came from.
std::string Origin(std::string_view location) {
  if (location.empty()) return "no address";
  const std::size_t scheme = location.find("://");
  if (scheme == std::string_view::npos) return "another address of the server";
  const std::size_t start = scheme + 3;
  std::string_view authority = location.substr(start);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  const std::size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority.remove_prefix(at + 1);
  return OneLine(std::string(location.substr(0, start)) +
                 std::string(authority));
}

// The service's own words on a rejection, when it gave some: a JSON error's
// "error" or "message", or a short plain text.
std::string Reason(const Reply& reply) {
  std::string text;
  if (reply.content_type.find("json") != std::string::npos) {
    const nlohmann::json json =
        nlohmann::json::parse(reply.body, nullptr, false);
    if (json.is_object()) {
      for (const char* name : {"error", "message"}) {
        const auto found = json.find(name);
        if (found != json.end() && found->is_string()) {
          text = found->get<std::string>();
          break;
        }
      }
    }
  } else if (reply.content_type.compare(0, 10, "text/plain") == 0) {
    text = reply.body;
  }
  return OneLine(std::move(text));
}

}  // namespace

TargetQueue::TargetQueue(std::string name, std::chrono::milliseconds spacing,
                         Kind kind)
    : name_(std::move(name)), spacing_(spacing), kind_(kind) {}

void TargetQueue::Latest(Outgoing request) { latest_ = std::move(request); }

void TargetQueue::KeepWith(MakeKept make) { make_kept_ = std::move(make); }

void TargetQueue::Keep(std::string id) { kept_.push_back(std::move(id)); }

void TargetQueue::Forget(const std::vector<std::string>& ids) {
  const std::set<std::string> gone(ids.begin(), ids.end());
  const auto settled = [&gone](const std::string& id) {
    return gone.count(id) != 0;
  };
  kept_.erase(std::remove_if(kept_.begin(), kept_.end(), settled), kept_.end());
  kept_in_flight_.erase(
      std::remove_if(kept_in_flight_.begin(), kept_in_flight_.end(), settled),
      kept_in_flight_.end());
  for (const std::string& id : ids) alone_.erase(id);
}

std::optional<Outgoing> TargetQueue::Next(Time now) {
  const std::optional<Time> due = Due();
  if (!due || now < *due) return std::nullopt;
  if (latest_) {
    in_flight_ = Flight::kLatest;
    latest_in_flight_ = std::move(latest_);
    latest_.reset();
    return latest_in_flight_;
  }
  in_flight_ = Flight::kKept;
  std::size_t most = 0;
  while (most < kept_.size() && alone_.count(kept_[most]) == 0) ++most;
  most = std::max<std::size_t>(most, 1);
  std::size_t taken = 0;
  Outgoing request = make_kept_(kept_, most, taken);
  taken = std::clamp<std::size_t>(taken, 1, most);
  kept_in_flight_.assign(kept_.begin(), kept_.begin() + taken);
  kept_.erase(kept_.begin(), kept_.begin() + taken);
  return request;
}

std::optional<std::string> TargetQueue::Tell(Trouble trouble,
                                             std::string text) {
  if (!told_.insert(trouble).second) return std::nullopt;
  return std::string(kPrefix) + name_ + text;
}

std::string TargetQueue::NotSent(Flight flight) const {
  if (kind_ == Kind::kCovers) {
    if (name_ == "LRCLIB") return "; that song has no lyrics for a day";
    // MusicBrainz's kept requests are the songs' lengths.
    return flight == Flight::kKept
               ? "; that song's length is not known for a day"
               : "; that album has no cover for a day";
  }
  return flight == Flight::kKept ? "; this listen is not sent"
                                 : "; this song is not sent";
}

TargetQueue::Outcome TargetQueue::Answered(Time now, const Reply& reply) {
  Outcome outcome;
  outcome.verdict = Judge(reply);
  if (kind_ == Kind::kCovers && outcome.verdict == Verdict::kRefused) {
    outcome.verdict = Verdict::kRejected;
  }
  const Flight flight = in_flight_;
  in_flight_ = Flight::kNone;
  if (flight == Flight::kNone) return outcome;
  const bool stays = outcome.verdict == Verdict::kRetry ||
                     outcome.verdict == Verdict::kRefused ||
                     outcome.verdict == Verdict::kRedirected;
  const bool split = flight == Flight::kKept &&
                     outcome.verdict == Verdict::kRejected &&
                     kept_in_flight_.size() > 1;
  if (flight == Flight::kLatest) {
    // A newer song that came meanwhile goes instead.
    if (stays && !latest_ && !latest_once_) {
      latest_ = std::move(latest_in_flight_);
    }
    latest_in_flight_.reset();
  } else if (stays || split) {
    if (split) alone_.insert(kept_in_flight_.begin(), kept_in_flight_.end());
    kept_.insert(kept_.begin(), kept_in_flight_.begin(), kept_in_flight_.end());
    kept_in_flight_.clear();
  } else {
    for (const std::string& id : kept_in_flight_) alone_.erase(id);
    outcome.settled = std::move(kept_in_flight_);
    kept_in_flight_.clear();
  }
  const std::string status = "HTTP " + std::to_string(reply.status);
  switch (outcome.verdict) {
    case Verdict::kDone: {
      failures_ = 0;
      not_before_ = now + spacing_;
      const bool was_down = told_.erase(Trouble::kUnreachable) +
                                told_.erase(Trouble::kCertificate) +
                                told_.erase(Trouble::kServer) >
                            0;
      if (was_down) {
        outcome.notice = std::string(kPrefix) + name_ + " works again";
        outcome.notice_is_error = false;
      }
      Fare(Health::kWorking, {});
      break;
    }
    case Verdict::kRetry: {
      ++failures_;
      std::chrono::seconds wait = BackOff(failures_);
      if (reply.wait_seconds && *reply.wait_seconds > wait.count()) {
        // The service's own wait, within reason.
        wait = std::chrono::seconds(std::min(*reply.wait_seconds, 3600LL));
      }
      not_before_ = now + std::max<std::chrono::milliseconds>(wait, spacing_);
      if (!reply.answered && reply.certificate) {
        outcome.notice =
            Tell(Trouble::kCertificate,
                 Fare(Health::kFailing, "'s certificate was not accepted: " +
                                            reply.failure + "; trying again"));
      } else if (!reply.answered) {
        outcome.notice =
            Tell(Trouble::kUnreachable,
                 Fare(Health::kFailing, " cannot be reached: " + reply.failure +
                                            "; trying again"));
      } else if (reply.status != 429) {
        // 429 is the service pacing us, nothing for the user to do.
        outcome.notice = Tell(
            Trouble::kServer,
            Fare(Health::kFailing, " answered " + status + "; trying again"));
      }
      break;
    }
    case Verdict::kRefused:
      refused_ = true;
      outcome.notice =
          std::string(kPrefix) + name_ +
          Fare(Health::kRefused,
               !reply.refusal.empty()
                   ? " " + reply.refusal
                   : " refused the credentials (" + status + "); check " +
                         CredentialsHint(name_) + " in trackwire_receiver.ini");
      break;
    case Verdict::kRedirected:
      refused_ = true;
      outcome.notice =
          std::string(kPrefix) + name_ +
          Fare(Health::kRedirected,
               " answered " + status + ", a redirect to " +
                   Origin(*reply.redirect) +
                   ", which a request with credentials does not follow; "
                   "check the url in " +
                   Section(name_) + " in trackwire_receiver.ini");
      break;
    case Verdict::kRejected: {
      failures_ = 0;
      not_before_ = now + spacing_;
      if (split) break;
      const std::string reason = Reason(reply);
      const std::string text = " answered " + status +
                               (reason.empty() ? "" : ": " + reason) +
                               NotSent(flight);
      // An album without a cover is no trouble of the covers' service.
      outcome.notice = Tell(
          Trouble::kRejected,
          Fare(kind_ == Kind::kCovers ? Health::kWorking : Health::kFailing,
               text));
      break;
    }
  }
  return outcome;
}

std::string TargetQueue::Fare(Health health, std::string text) {
  health_ = health;
  problem_ = health == Health::kWorking ? std::string() : name_ + text;
  return text;
}

TargetQueue::Outcome TargetQueue::Unusable(Time now, const std::string& what) {
  const Flight flight = in_flight_;
  Reply settled;
  settled.answered = true;
  settled.status = 200;
  Outcome outcome = Answered(now, settled);
  outcome.verdict = Verdict::kRejected;
  if (std::optional<std::string> told =
          Tell(Trouble::kUnusable, what + NotSent(flight))) {
    outcome.notice = std::move(told);
    outcome.notice_is_error = true;
  }
  return outcome;
}

bool TargetQueue::Holds(const std::string& url) const {
  return (latest_ && latest_->url == url) ||
         (latest_in_flight_ && latest_in_flight_->url == url);
}

std::optional<TargetQueue::Time> TargetQueue::Due() const {
  if (in_flight_ != Flight::kNone || refused_) return std::nullopt;
  if (!latest_ && kept_.empty()) return std::nullopt;
  return not_before_;
}

void TargetQueue::Reset() {
  failures_ = 0;
  not_before_ = Time{};
  refused_ = false;
  told_.clear();
}

}  // namespace receiver
