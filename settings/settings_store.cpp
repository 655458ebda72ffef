#include "settings/settings_store.h"

#include <windows.h>

#include <new>
#include <vector>

#include "plugin/error_box.h"
#include "settings/settings_text.h"

namespace settings {

SettingsRecord ReportSettings;

namespace {

constexpr char kReadMemoryError[] =
    "Cannot read config file! Not enough memory.";
constexpr char kWriteError[] = "Cannot open file for writing config!";
constexpr DWORD kShareAll =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Owns one file handle; closes it on every path.
class File {
 public:
  explicit File(HANDLE handle) : handle_(handle) {}
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept : handle_(other.handle_) {
    other.handle_ = INVALID_HANDLE_VALUE;
  }
  ~File() { Close(); }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Close() {
    if (handle_ == INVALID_HANDLE_VALUE) return true;
    const bool closed = CloseHandle(handle_) != FALSE;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

// Reads the whole file, in chunks of its measured size until a read yields
// nothing. Returns false only when the buffer cannot be had.
bool ReadAll(const File& file, std::string* bytes) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      static_cast<unsigned long long>(size.QuadPart) >
          std::vector<char>().max_size()) {
    return false;
  }
  try {
    std::vector<char> buffer(static_cast<std::size_t>(size.QuadPart));
    const DWORD chunk =
        buffer.size() > MAXDWORD ? MAXDWORD : static_cast<DWORD>(buffer.size());
    DWORD read = 0;
    while (chunk != 0 &&
           ReadFile(file.get(), buffer.data(), chunk, &read, nullptr) &&
           read != 0) {
      bytes->append(buffer.data(), read);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// Writes `bytes` to a new file beside `path` and moves it over `path`, so a
// failed write never leaves a truncated settings file behind.
bool WriteSettingsFile(const std::string& path, const std::string& bytes) {
  if (path.empty()) return false;
  // A read-only or locked settings file must stay as it is.
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) {
      return false;
    }
    File existing(CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!existing.valid()) return false;
  }
  const std::string temporary = path + ".new";
  File file(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  DWORD written = 0;
  const bool complete =
      bytes.size() <= MAXDWORD &&
      WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                &written, nullptr) &&
      written == bytes.size() && FlushFileBuffers(file.get());
  if (!file.Close() || !complete ||
      !MoveFileExA(temporary.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

void LoadSettings(const char* folder) {
  ReportSettings.settings_file =
      folder ? std::string(folder) + "\\" + kSettingsFileName : std::string();
  ReportSettings.host = kDefaultHost;
  ReportSettings.request_path = kDefaultRequestPath;
  ReportSettings.port = kDefaultPort;
  if (!folder) return;

  const File file(CreateFileA(ReportSettings.settings_file.c_str(),
                              GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return;
  std::string bytes;
  if (!ReadAll(file, &bytes)) {
    plugin::ShowErrorBox(kReadMemoryError, plugin::kSettingsErrorCaption);
    return;
  }
  SettingsValues values = SplitSettingsText(FromDiskText(bytes));
  ReportSettings.host = std::move(values.host);
  ReportSettings.port = std::move(values.port);
  ReportSettings.request_path = std::move(values.request_path);
}

void StoreSettings(const std::string& host, const std::string& request_path,
                   const std::string& port) {
  ReportSettings.host = host;
  ReportSettings.request_path = request_path;
  ReportSettings.port = port;
  if (!WriteSettingsFile(
          ReportSettings.settings_file,
          ToDiskText(JoinSettingsText(host, port, request_path)))) {
    plugin::ShowErrorBox(kWriteError, plugin::kSettingsErrorCaption);
  }
}

std::string GetHost() { return ReportSettings.host; }
std::string GetRequestPath() { return ReportSettings.request_path; }
std::string GetPort() { return ReportSettings.port; }

}  // namespace settings
