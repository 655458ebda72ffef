#include "receiver/relay/answers.h"

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

}  // namespace

Verdict Judge(const Reply& reply) {
  if (!reply.answered) return Verdict::kRetry;
  const int status = reply.status;
  if (status >= 200 && status < 400) return Verdict::kDone;
  if (status >= 500 || status == 429 || status == 408) return Verdict::kRetry;
  if (status == 401 || status == 403) return Verdict::kRefused;
  return Verdict::kRejected;
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
  if (!answer.is_object()) return {};
  const auto groups = answer.find("release-groups");
  if (groups == answer.end() || !groups->is_array()) return {};
  ReleaseGroupAnswer out;
  out.ok = true;
  long long best = kGoodScore - 1;
  for (const nlohmann::json& group : *groups) {
    if (!group.is_object()) continue;
    const auto id = group.find("id");
    const auto score = group.find("score");
    if (id == group.end() || !id->is_string() || score == group.end()) {
      continue;
    }
    long long value = -1;
    if (score->is_number_integer()) {
      value = score->get<long long>();
    } else if (score->is_string()) {
      const std::string text = score->get<std::string>();
      if (!text.empty() && text.size() <= 3 &&
          text.find_first_not_of("0123456789") == std::string::npos) {
        value = std::stoll(text);
      }
    }
    // The first of equal scores: MusicBrainz lists the better match first.
    if (value > best && IsMbid(id->get<std::string>())) {
      best = value;
      out.id = id->get<std::string>();
    }
  }
  return out;
}

}  // namespace receiver
