#include "tests/support/helper_process.h"

#include "tests/support/fake_player.h"

namespace testing_support {

std::string BesideThisProgram(const std::string& name) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string program = path;
  return program.substr(0, program.find_last_of('\\') + 1) + name;
}

DWORD RunBesideThisProgram(const std::string& name, DWORD timeout_ms) {
  const std::string command = BesideThisProgram(name);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(command.c_str(), nullptr, nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup, &process)) {
    return kNotStarted;
  }
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  while (MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 50,
                                   QS_ALLINPUT) != WAIT_OBJECT_0 &&
         GetTickCount64() < end) {
    PumpMessages(0);
  }
  DWORD code = kNoExitCode;
  if (!GetExitCodeProcess(process.hProcess, &code) || code == STILL_ACTIVE) {
    code = kNoExitCode;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

}  // namespace testing_support
