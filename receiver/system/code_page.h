#pragma once

#include <string>
#include <string_view>

// Text conversions through the system: the sender's code page to UTF-8, and
// UTF-8 to and from the UTF-16 of Windows' own calls.
namespace receiver {

// 0 stands for the system's ANSI code page.
std::string CodePageToUtf8(std::string_view bytes, unsigned code_page);

bool IsUsableCodePage(unsigned code_page);

std::wstring Utf8ToWide(std::string_view utf8);

std::string WideToUtf8(std::wstring_view wide);

}  // namespace receiver
