#include "receiver/song_files.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "receiver/code_page.h"

namespace receiver {

namespace {

class File {
 public:
  explicit File(HANDLE handle) : handle_(handle) {}
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() { Close(); }
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }
  void Close() {
    if (IsOpen()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

struct LocalFreer {
  void operator()(wchar_t* text) const { LocalFree(text); }
};

std::string Failure(const char* what, const std::wstring& path) {
  const DWORD error = GetLastError();
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

std::string ReplaceFile(const std::wstring& path, std::string_view contents) {
  const std::wstring temporary =
      path + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  File file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsOpen()) return Failure("cannot create", temporary);
  if (!WriteAll(file.Get(), contents)) {
    const std::string failure = Failure("cannot write", temporary);
    file.Close();
    DeleteFileW(temporary.c_str());
    return failure;
  }
  file.Close();
  // A reader that holds the file open without delete sharing blocks the
  // replacement for a moment; try again briefly before giving up.
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExW(temporary.c_str(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING)) {
      return {};
    }
    const DWORD error = GetLastError();
    if (attempt == 20 ||
        (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
      SetLastError(error);
      const std::string failure = Failure("cannot replace", path);
      DeleteFileW(temporary.c_str());
      return failure;
    }
    Sleep(10);
  }
}

std::string PrepareFolder(const std::wstring& folder, std::wstring& full_path) {
  const std::wstring name = folder.empty() ? L"." : folder;
  const DWORD length = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (length == 0) return Failure("cannot use the folder", name);
  std::wstring full(length, L'\0');
  const DWORD written =
      GetFullPathNameW(name.c_str(), length, full.data(), nullptr);
  if (written == 0 || written >= length) {
    return Failure("cannot use the folder", name);
  }
  full.resize(written);
  const DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (!CreateDirectoryW(full.c_str(), nullptr)) {
      return Failure("cannot make the folder", full);
    }
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return "not a folder: " + WideToUtf8(full);
  }
  while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) {
    full.pop_back();
  }
  // Find out now, not at the first song, when the folder is read-only.
  const std::wstring probe = full + L"\\now_playing." +
                             std::to_wstring(GetCurrentProcessId()) + L".tmp";
  File file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                        nullptr));
  if (!file.IsOpen()) return Failure("cannot write in the folder", full);
  full_path = full;
  return {};
}

}  // namespace receiver
