#include "receiver/services/answers.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace receiver {

namespace {

constexpr int kGoodScore = 90;
constexpr long long kMaxBackOffSeconds = 300;

// 8-4-4-4-12 hex digits: what goes into the Cover Art Archive's path.
bool IsMbid(const std::string& id) {
  if (id.size() != 36) return false;
  for (std::size_t i = 0; i < id.size(); ++i) {
    const char c = id[i];
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != '-') return false;
    } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                 (c >= 'A' && c <= 'F'))) {
      return false;
    }
  }
  return true;
}

// A search result's score: a number, or digits in a string; -1 for none.
long long ScoreOf(const nlohmann::json& item) {
  const auto score = item.find("score");
  if (score == item.end()) return -1;
  if (score->is_number_integer()) return score->get<long long>();
  if (!score->is_string()) return -1;
  const std::string text = score->get<std::string>();
  if (text.empty() || text.size() > 3 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return -1;
  }
  return std::stoll(text);
}

// The array `name` of a search answer; null when the bytes are no answer.
const nlohmann::json* Results(const nlohmann::json& answer, const char* name) {
  if (!answer.is_object()) return nullptr;
  const auto found = answer.find(name);
  if (found == answer.end() || !found->is_array()) return nullptr;
  return &*found;
}

}  // namespace

Verdict Judge(const Reply& reply) {
  if (!reply.answered) return Verdict::kRetry;
  if (reply.redirect) return Verdict::kRedirected;
  const int status = reply.status;
  if (status >= 200 && status < 400) return Verdict::kDone;
  if (status >= 500 || status == 429 || status == 408) return Verdict::kRetry;
  if (status == 401 || status == 403) return Verdict::kRefused;
  return Verdict::kRejected;
}

bool Readable(const Reply& reply) {
  return reply.answered && reply.status >= 200 && reply.status < 300;
}

Reply Settled() {
  Reply reply;
  reply.answered = true;
  reply.status = 200;
  return reply;
}

std::chrono::seconds BackOff(int failures_in_a_row) {
  if (failures_in_a_row <= 0) return std::chrono::seconds(0);
  long long seconds = 1;
  for (int i = 1; i < failures_in_a_row && seconds < kMaxBackOffSeconds; ++i) {
    seconds *= 2;
  }
  return std::chrono::seconds(std::min(seconds, kMaxBackOffSeconds));
}

ReleaseGroupAnswer BestReleaseGroup(std::string_view json) {
  const nlohmann::json answer =
      nlohmann::json::parse(json.begin(), json.end(), nullptr, false);
  const nlohmann::json* groups = Results(answer, "release-groups");
  if (!groups) return {};
  ReleaseGroupAnswer out;
  out.ok = true;
  long long best = kGoodScore - 1;
  for (const nlohmann::json& group : *groups) {
    if (!group.is_object()) continue;
    const auto id = group.find("id");
    if (id == group.end() || !id->is_string()) continue;
    const long long value = ScoreOf(group);
    // The first of equal scores: MusicBrainz lists the better match first.
    if (value > best && IsMbid(id->get<std::string>())) {
      best = value;
      out.id = id->get<std::string>();
    }
  }
  return out;
}

RecordingAnswer BestRecording(std::string_view json) {
  // Longer than a day is no song's length.
  constexpr long long kMostMilliseconds = 24LL * 60 * 60 * 1000;
  const nlohmann::json answer =
      nlohmann::json::parse(json.begin(), json.end(), nullptr, false);
  const nlohmann::json* recordings = Results(answer, "recordings");
  if (!recordings) return {};
  RecordingAnswer out;
  out.ok = true;
  long long best = kGoodScore - 1;
  for (const nlohmann::json& recording : *recordings) {
    if (!recording.is_object()) continue;
    const auto length = recording.find("length");
    if (length == recording.end() || !length->is_number_integer()) continue;
    const long long milliseconds = length->get<long long>();
    const long long value = ScoreOf(recording);
    if (value > best && milliseconds >= 500 &&
        milliseconds <= kMostMilliseconds) {
      best = value;
      out.seconds = static_cast<int>((milliseconds + 500) / 1000);
    }
  }
  return out;
}

}  // namespace receiver
