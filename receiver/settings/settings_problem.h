#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace receiver {

// A line of the settings file that was not taken, and why.
struct SettingsProblem {
  std::size_t line = 0;  // 0: a change of the page's, not yet a line
  // As written, "[file title.txt]"; empty before any section.
  std::string section;
  // In lower case, when the problem is a key's value or name.
  std::string key;
  // "lines is a number from 0 to 500, not \"lots\"".
  std::string text;
  bool operator==(const SettingsProblem& other) const {
    return line == other.line && section == other.section && key == other.key &&
           text == other.text;
  }
};

// "line 7, [history]: lines is a number from 0 to 500, not \"lots\"";
// "line 1: ..." before any section, "[history]: ..." without a line.
std::string ProblemText(const SettingsProblem& problem);

// Each ProblemText, joined by "; ".
std::string ProblemsText(const std::vector<SettingsProblem>& problems);

}  // namespace receiver
