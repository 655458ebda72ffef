#include "receiver/system/code_page.h"

#include <windows.h>

namespace receiver {

namespace {

std::wstring ToWide(std::string_view bytes, UINT code_page) {
  if (bytes.empty()) return {};
  const int length = static_cast<int>(bytes.size());
  const int wide_length =
      MultiByteToWideChar(code_page, 0, bytes.data(), length, nullptr, 0);
  if (wide_length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
  MultiByteToWideChar(code_page, 0, bytes.data(), length, wide.data(),
                      wide_length);
  return wide;
}

}  // namespace

std::string CodePageToUtf8(std::string_view bytes, unsigned code_page) {
  return WideToUtf8(ToWide(bytes, code_page == 0 ? CP_ACP : code_page));
}

bool IsUsableCodePage(unsigned code_page) {
  return code_page == 0 || IsValidCodePage(code_page) != 0;
}

std::wstring Utf8ToWide(std::string_view utf8) { return ToWide(utf8, CP_UTF8); }

std::string WideToUtf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int utf8_length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length,
                                              nullptr, 0, nullptr, nullptr);
  if (utf8_length <= 0) return {};
  std::string utf8(static_cast<std::size_t>(utf8_length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), utf8_length,
                      nullptr, nullptr);
  return utf8;
}

}  // namespace receiver
