#include "receiver/relay/target_queue.h"

#include <nlohmann/json.hpp>

namespace receiver {

namespace {

constexpr std::string_view kPrefix = "trackwire_receiver: ";
constexpr std::size_t kMaxReason = 200;

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
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  if (text.size() > kMaxReason) text = text.substr(0, kMaxReason) + "...";
  return text;
}

}  // namespace

TargetQueue::TargetQueue(std::string name, std::chrono::milliseconds spacing)
    : name_(std::move(name)), spacing_(spacing) {}

void TargetQueue::Latest(Outgoing request) { latest_ = std::move(request); }

void TargetQueue::Keep(Outgoing request, std::string id) {
  kept_.emplace_back(std::move(request), std::move(id));
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
  return kept_.front().first;
}

std::optional<std::string> TargetQueue::Tell(Trouble trouble,
                                             std::string text) {
  if (!told_.insert(trouble).second) return std::nullopt;
  return std::string(kPrefix) + name_ + text;
}

TargetQueue::Outcome TargetQueue::Answered(Time now, const Reply& reply) {
  Outcome outcome;
  outcome.verdict = Judge(reply);
  const Flight flight = in_flight_;
  in_flight_ = Flight::kNone;
  if (flight == Flight::kNone) return outcome;
  const bool stays = outcome.verdict == Verdict::kRetry ||
                     outcome.verdict == Verdict::kRefused;
  if (flight == Flight::kLatest) {
    // A newer song that came meanwhile goes instead.
    if (stays && !latest_) latest_ = std::move(latest_in_flight_);
    latest_in_flight_.reset();
  } else if (!stays) {
    outcome.accepted_id = std::move(kept_.front().second);
    kept_.pop_front();
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
            Tell(Trouble::kCertificate, "'s certificate was not accepted: " +
                                            reply.failure + "; trying again");
      } else if (!reply.answered) {
        outcome.notice =
            Tell(Trouble::kUnreachable,
                 " cannot be reached: " + reply.failure + "; trying again");
      } else if (reply.status != 429) {
        // 429 is the service pacing us, nothing for the user to do.
        outcome.notice =
            Tell(Trouble::kServer, " answered " + status + "; trying again");
      }
      break;
    }
    case Verdict::kRefused:
      refused_ = true;
      outcome.notice = std::string(kPrefix) + name_ +
                       " refused the credentials (" + status + "); check " +
                       CredentialsHint(name_) + " in trackwire_receiver.ini";
      break;
    case Verdict::kRejected: {
      failures_ = 0;
      not_before_ = now + spacing_;
      const std::string reason = Reason(reply);
      outcome.notice =
          Tell(Trouble::kRejected,
               " answered " + status + (reason.empty() ? "" : ": " + reason) +
                   (flight == Flight::kKept ? "; this listen is not sent"
                                            : "; this song is not sent"));
      break;
    }
  }
  return outcome;
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
