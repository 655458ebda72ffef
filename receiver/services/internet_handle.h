#pragma once

#include <windows.h>
#include <winhttp.h>

#include <utility>

namespace receiver {

// Owns a WinHTTP handle (session, connection or request) and closes it once.
// Closing a request handle cancels what it has under way; its callback then
// still receives WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING.
class InternetHandle {
 public:
  InternetHandle() = default;
  explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
  InternetHandle(InternetHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, nullptr)) {}
  InternetHandle& operator=(InternetHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  ~InternetHandle() { Close(); }

  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

  void Close() {
    if (handle_ != nullptr) WinHttpCloseHandle(std::exchange(handle_, nullptr));
  }

 private:
  HINTERNET handle_ = nullptr;
};

}  // namespace receiver
