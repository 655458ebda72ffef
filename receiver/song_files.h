#pragma once

#include <string>
#include <string_view>

namespace receiver {

// Replaces `path` with `contents` atomically: readers see the old file or the
// new one, never a part. Returns an empty string, or what went wrong.
std::string ReplaceFile(const std::wstring& path, std::string_view contents);

// The folder as a full path, made when it is missing. Returns an empty
// string, or what went wrong.
std::string PrepareFolder(const std::wstring& folder, std::wstring& full_path);

// The text of GetLastError() or of a socket error, as UTF-8.
std::string SystemMessage(unsigned long error);

}  // namespace receiver
