#include "receiver/icon/autostart.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "receiver/options/command_line.h"
#include "receiver/system/code_page.h"
#include "receiver/system/system_message.h"

namespace receiver {

namespace {

class RegistryKey {
 public:
  RegistryKey() = default;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

std::string Failure(const char* what, LONG status) {
  return std::string(what) + ": " +
         SystemMessage(static_cast<unsigned long>(status));
}

}  // namespace

std::wstring AutostartCommand(const std::wstring& program,
                              const Options& options,
                              const std::wstring& folder) {
  std::vector<std::wstring> arguments;
  for (const std::string& argument :
       OptionArguments(options, WideToUtf8(folder))) {
    arguments.push_back(Utf8ToWide(argument));
  }
  return CommandLine(program, arguments);
}

std::wstring ReadAutostart() {
  RegistryKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE,
                    key.out()) != ERROR_SUCCESS) {
    return {};
  }
  DWORD type = 0;
  DWORD bytes = 0;
  if (RegQueryValueExW(key.get(), kRunValueName, nullptr, &type, nullptr,
                       &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key.get(), kRunValueName, nullptr, &type,
                       reinterpret_cast<BYTE*>(text.data()),
                       &bytes) != ERROR_SUCCESS) {
    return {};
  }
  // A stored string need not end in a null.
  return std::wstring(text.begin(), std::find(text.begin(), text.end(), L'\0'));
}

bool StartsAtLogOn(const std::wstring& program) {
  const std::wstring started = ProgramOfCommand(ReadAutostart());
  return !started.empty() &&
         CompareStringOrdinal(started.c_str(), static_cast<int>(started.size()),
                              program.c_str(), static_cast<int>(program.size()),
                              TRUE) == CSTR_EQUAL;
}

std::string WriteAutostart(const std::wstring& command) {
  RegistryKey key;
  LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, key.out(), nullptr);
  if (status != ERROR_SUCCESS)
    return Failure("cannot open the Run key", status);
  status = RegSetValueExW(
      key.get(), kRunValueName, 0, REG_SZ,
      reinterpret_cast<const BYTE*>(command.c_str()),
      static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  if (status != ERROR_SUCCESS) return Failure("cannot write the value", status);
  return {};
}

std::string RemoveAutostart() {
  RegistryKey key;
  LONG status =
      RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, key.out());
  if (status == ERROR_FILE_NOT_FOUND) return {};
  if (status != ERROR_SUCCESS)
    return Failure("cannot open the Run key", status);
  status = RegDeleteValueW(key.get(), kRunValueName);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    return Failure("cannot remove the value", status);
  }
  return {};
}

}  // namespace receiver
