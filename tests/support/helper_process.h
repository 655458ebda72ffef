#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// The full path of `name` in the folder of this test program.
std::string BesideThisProgram(const std::string& name);

constexpr DWORD kNotStarted = 100;
constexpr DWORD kNoExitCode = 101;

// Runs `name` from beside this test program and returns its exit code. While
// it runs this thread keeps answering its messages, as the player's main
// thread does, so a helper may talk to this process's windows.
DWORD RunBesideThisProgram(const std::string& name, DWORD timeout_ms);

}  // namespace testing_support
