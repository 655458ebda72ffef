#include "receiver/web/problems.h"

#include <algorithm>
#include <utility>

namespace receiver {

namespace {

bool Failing(ServiceHealth health) {
  return health == ServiceHealth::kFailing ||
         health == ServiceHealth::kRefused ||
         health == ServiceHealth::kRedirected;
}

}  // namespace

void ProblemBoard::SetSettings(std::vector<Problem> problems,
                               std::int64_t now) {
  for (Problem& problem : problems) {
    problem.kind = Problem::Kind::kSettings;
    const auto before =
        std::find_if(settings_.begin(), settings_.end(), [&](const Problem& p) {
          return p.line == problem.line && p.text == problem.text;
        });
    problem.since = before != settings_.end() ? before->since : now;
  }
  settings_ = std::move(problems);
}

void ProblemBoard::SetService(const std::string& name, ServiceHealth health,
                              std::string problem, std::int64_t now) {
  auto found = std::find_if(
      services_.begin(), services_.end(),
      [&](const ServiceState& state) { return state.name == name; });
  if (found == services_.end()) {
    ServiceState added;
    added.name = name;
    added.since = now;
    found = services_.insert(services_.end(), std::move(added));
  } else if (found->health != health) {
    found->since = now;
  }
  found->health = health;
  found->problem = Failing(health) ? std::move(problem) : std::string();
}

void ProblemBoard::RemoveService(const std::string& name) {
  services_.erase(std::remove_if(services_.begin(), services_.end(),
                                 [&](const ServiceState& state) {
                                   return state.name == name;
                                 }),
                  services_.end());
}

void ProblemBoard::SetFile(const std::string& name, std::string error,
                           std::int64_t now) {
  const auto found = std::find_if(
      files_.begin(), files_.end(),
      [&](const Problem& problem) { return problem.subject == name; });
  if (error.empty()) {
    if (found != files_.end()) files_.erase(found);
    return;
  }
  if (found != files_.end()) {
    found->text = std::move(error);
    return;
  }
  Problem problem;
  problem.kind = Problem::Kind::kFile;
  problem.subject = name;
  problem.text = std::move(error);
  problem.since = now;
  files_.push_back(std::move(problem));
}

std::vector<Problem> ProblemBoard::Open() const {
  std::vector<Problem> open = settings_;
  for (const ServiceState& service : services_) {
    if (!Failing(service.health)) continue;
    Problem problem;
    problem.kind = Problem::Kind::kService;
    problem.subject = service.name;
    problem.text = service.problem;
    problem.since = service.since;
    open.push_back(std::move(problem));
  }
  open.insert(open.end(), files_.begin(), files_.end());
  return open;
}

std::size_t ProblemBoard::Count() const {
  return settings_.size() + files_.size() +
         static_cast<std::size_t>(std::count_if(
             services_.begin(), services_.end(),
             [](const ServiceState& state) { return Failing(state.health); }));
}

}  // namespace receiver
