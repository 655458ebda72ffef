#include "receiver/system/files.h"

#include <windows.h>

#include <algorithm>

#include "receiver/system/code_page.h"
#include "receiver/system/handles.h"
#include "receiver/system/system_message.h"

namespace receiver {

namespace {

std::string Failure(const char* what, const std::wstring& path,
                    DWORD error = GetLastError()) {
  return std::string(what) + " " + WideToUtf8(path) + ": " +
         SystemMessage(error);
}

bool WriteAll(HANDLE file, std::string_view contents) {
  while (!contents.empty()) {
    DWORD written = 0;
    const DWORD chunk =
        static_cast<DWORD>(std::min<std::size_t>(contents.size(), 1 << 20));
    if (!WriteFile(file, contents.data(), chunk, &written, nullptr) ||
        written == 0) {
      return false;
    }
    contents.remove_prefix(written);
  }
  return true;
}

}  // namespace

std::string ReplaceFileContents(const std::wstring& path,
                                std::string_view contents,
                                Durability durability) {
  const std::wstring temporary =
      path + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return Failure("cannot create", temporary);
  const bool flushed = durability == Durability::kFlushed;
  if (!WriteAll(file.get(), contents) ||
      (flushed && !FlushFileBuffers(file.get()))) {
    const std::string failure = Failure("cannot write", temporary);
    file.Close();
    DeleteFileW(temporary.c_str());
    return failure;
  }
  file.Close();
  const DWORD flags =
      MOVEFILE_REPLACE_EXISTING | (flushed ? MOVEFILE_WRITE_THROUGH : 0);
  if (!MoveFileExW(temporary.c_str(), path.c_str(), flags)) {
    const std::string failure = Failure("cannot replace", path);
    DeleteFileW(temporary.c_str());
    return failure;
  }
  return {};
}

std::optional<std::string> ReadBoundedFile(const std::wstring& path,
                                           std::string& problem,
                                           std::size_t max_bytes,
                                           bool* too_large) {
  if (too_large != nullptr) *too_large = false;
  const auto large = [&] {
    if (too_large != nullptr) *too_large = true;
    problem = WideToUtf8(path) + " is too large";
    return std::nullopt;
  };
  const FileHandle file(
      CreateFileW(path.c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      problem = Failure("cannot read", path, error);
    }
    return std::nullopt;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) {
    problem = Failure("cannot read", path);
    return std::nullopt;
  }
  if (static_cast<ULONGLONG>(size.QuadPart) > max_bytes) return large();
  // One byte more than it should hold: a file that grew meanwhile shows.
  std::string bytes(static_cast<std::size_t>(size.QuadPart) + 1, '\0');
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    DWORD read = 0;
    const DWORD chunk = static_cast<DWORD>(
        std::min<std::size_t>(bytes.size() - filled, 1 << 20));
    if (!ReadFile(file.get(), bytes.data() + filled, chunk, &read, nullptr)) {
      problem = Failure("cannot read", path);
      return std::nullopt;
    }
    if (read == 0) break;
    filled += read;
  }
  if (filled > max_bytes) return large();
  bytes.resize(filled);
  return bytes;
}

std::string AppendToFile(const std::wstring& path, std::string_view start,
                         std::string_view bytes) {
  const FileHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return Failure("cannot open", path);
  LARGE_INTEGER size = {};
  std::string all(bytes);
  if (GetFileSizeEx(file.get(), &size) && size.QuadPart == 0) {
    all.insert(0, start);
  }
  if (!WriteAll(file.get(), all) || !FlushFileBuffers(file.get())) {
    return Failure("cannot write", path);
  }
  return {};
}

std::wstring MoveAside(const std::wstring& path, std::wstring_view suffix) {
  const std::wstring aside = path + std::wstring(suffix);
  if (!MoveFileExW(path.c_str(), aside.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return {};
  }
  return aside;
}

std::string RemoveFile(const std::wstring& path) {
  if (DeleteFileW(path.c_str())) return {};
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
  return "cannot remove " + WideToUtf8(path) + ": " + SystemMessage(error);
}

}  // namespace receiver
