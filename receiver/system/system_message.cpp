#include "receiver/system/system_message.h"

#include <windows.h>

#include <memory>

#include "receiver/system/code_page.h"

namespace receiver {

namespace {

struct LocalFreer {
  void operator()(wchar_t* text) const { LocalFree(text); }
};

}  // namespace

std::string SystemMessage(unsigned long error) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const std::unique_ptr<wchar_t, LocalFreer> owned(buffer);
  std::wstring text = length > 0 ? std::wstring(buffer, length) : L"";
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' ||
                           text.back() == L' ' || text.back() == L'.')) {
    text.pop_back();
  }
  if (text.empty()) return "error " + std::to_string(error);
  return WideToUtf8(text);
}

}  // namespace receiver
