#include "receiver/settings/settings_problem.h"

namespace receiver {

std::string ProblemText(const SettingsProblem& problem) {
  std::string text;
  if (problem.line != 0) text = "line " + std::to_string(problem.line);
  if (!problem.section.empty()) {
    text += (text.empty() ? "" : ", ") + problem.section;
  }
  return text + ": " + problem.text;
}

std::string ProblemsText(const std::vector<SettingsProblem>& problems) {
  std::string text;
  for (const SettingsProblem& problem : problems) {
    text += (text.empty() ? "" : "; ") + ProblemText(problem);
  }
  return text;
}

}  // namespace receiver
