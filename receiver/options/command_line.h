#pragma once

#include <string>
#include <string_view>
#include <vector>

// Command lines as Windows programs take them apart (the C runtime and
// CommandLineToArgvW agree on these rules), for the log-on start's value.
namespace receiver {

// The argument as it is when it needs no quotes, else in quotes with its
// backslashes doubled wherever a quote follows them.
std::wstring QuoteArgument(std::wstring_view argument);

// The program in quotes (a path holds none, and its backslashes are never
// escapes) followed by the quoted arguments.
std::wstring CommandLine(std::wstring_view program,
                         const std::vector<std::wstring>& arguments);

// The program that a command line starts: up to the closing quote, or up to
// the first space or tab when it does not begin with one.
std::wstring ProgramOfCommand(std::wstring_view command);

}  // namespace receiver
