#include "receiver/discord/discord_pipe.h"

namespace receiver {

namespace {

// A write of a small frame that Discord has not taken in this time will
// not be taken.
constexpr DWORD kWriteWaitMs = 1000;
constexpr int kPipes = 10;

}  // namespace

DiscordPipe::DiscordPipe()
    : read_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      write_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

DiscordPipe::~DiscordPipe() { Close(); }

bool DiscordPipe::Open() {
  Close();
  if (!ready()) return false;
  for (int number = 0; number < kPipes; ++number) {
    const std::wstring name =
        L"\\\\?\\pipe\\discord-ipc-" + std::to_wstring(number);
    // Identification only: the pipe's server may not act as this user.
    pipe_ = FileHandle(CreateFileW(
        name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
        FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
        nullptr));
    if (pipe_ && StartRead()) return true;
    Close();
  }
  return false;
}

void DiscordPipe::Close() {
  if (reading_) {
    // The read's buffer and OVERLAPPED stay in use until it has ended.
    CancelIoEx(pipe_.get(), &read_);
    DWORD ignored = 0;
    GetOverlappedResult(pipe_.get(), &read_, &ignored, TRUE);
    reading_ = false;
  }
  pipe_.Close();
}

bool DiscordPipe::StartRead() {
  read_ = OVERLAPPED{};
  read_.hEvent = read_event_.get();
  ResetEvent(read_event_.get());
  if (!ReadFile(pipe_.get(), buffer_, sizeof buffer_, nullptr, &read_) &&
      GetLastError() != ERROR_IO_PENDING) {
    return false;
  }
  // Finished at once or later, the event is set either way.
  reading_ = true;
  return true;
}

bool DiscordPipe::TakeRead(std::string& bytes) {
  if (!reading_) return false;
  DWORD got = 0;
  if (!GetOverlappedResult(pipe_.get(), &read_, &got, FALSE)) {
    if (GetLastError() == ERROR_IO_INCOMPLETE) return true;
    reading_ = false;
    return false;
  }
  reading_ = false;
  bytes.append(buffer_, got);
  return StartRead();
}

bool DiscordPipe::Write(const std::string& bytes) {
  if (!pipe_) return false;
  write_ = OVERLAPPED{};
  write_.hEvent = write_event_.get();
  ResetEvent(write_event_.get());
  const DWORD size = static_cast<DWORD>(bytes.size());
  if (!WriteFile(pipe_.get(), bytes.data(), size, nullptr, &write_)) {
    if (GetLastError() != ERROR_IO_PENDING) return false;
    if (WaitForSingleObject(write_event_.get(), kWriteWaitMs) !=
        WAIT_OBJECT_0) {
      CancelIoEx(pipe_.get(), &write_);
      DWORD ignored = 0;
      GetOverlappedResult(pipe_.get(), &write_, &ignored, TRUE);
      return false;
    }
  }
  DWORD wrote = 0;
  return GetOverlappedResult(pipe_.get(), &write_, &wrote, FALSE) &&
         wrote == size;
}

}  // namespace receiver
