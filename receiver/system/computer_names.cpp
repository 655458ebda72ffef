#include "receiver/system/computer_names.h"

#include <windows.h>

#include "receiver/system/code_page.h"

namespace receiver {

std::vector<std::string> ComputerNames() {
  std::vector<std::string> names;
  for (const COMPUTER_NAME_FORMAT format :
       {ComputerNameNetBIOS, ComputerNameDnsHostname,
        ComputerNameDnsFullyQualified}) {
    DWORD length = 0;
    GetComputerNameExW(format, nullptr, &length);
    if (length == 0) continue;
    std::wstring name(length, L'\0');
    if (!GetComputerNameExW(format, name.data(), &length)) continue;
    name.resize(length);
    if (!name.empty()) names.push_back(WideToUtf8(name));
  }
  return names;
}

}  // namespace receiver
