#pragma once

#include <string>

#include "receiver/options/options.h"

// The receiver's start at this user's log-on: one value under HKCU's Run
// key, which the setup program writes and removes too.
namespace receiver {

inline constexpr wchar_t kRunKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kRunValueName[] = L"WinAmp Tunebeacon Receiver";

// What the log-on start runs: `program` with the options it has now, but
// the folder as its full path and never --console.
std::wstring AutostartCommand(const std::wstring& program,
                              const Options& options,
                              const std::wstring& folder);

// The command that the log-on start runs; empty when there is none.
std::wstring ReadAutostart();

// Whether the log-on start runs this program (the path compared as Windows
// compares file names, without regard to case).
bool StartsAtLogOn(const std::wstring& program);

// Each returns an empty string, or what went wrong.
std::string WriteAutostart(const std::wstring& command);
std::string RemoveAutostart();

}  // namespace receiver
