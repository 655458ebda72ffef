#include "receiver/options/command_line.h"

namespace receiver {

std::wstring QuoteArgument(std::wstring_view argument) {
  if (!argument.empty() &&
      argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
    return std::wstring(argument);
  }
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count as escapes only before a quote.
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  out += L'"';
  return out;
}

std::wstring CommandLine(std::wstring_view program,
                         const std::vector<std::wstring>& arguments) {
  std::wstring out = L"\"";
  out += program;
  out += L'"';
  for (const std::wstring& argument : arguments) {
    out += L' ';
    out += QuoteArgument(argument);
  }
  return out;
}

std::wstring ProgramOfCommand(std::wstring_view command) {
  if (!command.empty() && command.front() == L'"') {
    command.remove_prefix(1);
    return std::wstring(command.substr(0, command.find(L'"')));
  }
  return std::wstring(command.substr(0, command.find_first_of(L" \t")));
}

}  // namespace receiver
