#pragma once

#include <windows.h>

#include <utility>

// Owners of kernel handles, one kind each by the value that means "none":
// files open as INVALID_HANDLE_VALUE on failure, threads, events and
// mutexes as null.
namespace receiver {

template <HANDLE (*Empty)()>
class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  OwnedHandle(OwnedHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, Empty())) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, Empty());
    }
    return *this;
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { Close(); }

  explicit operator bool() const { return handle_ != Empty(); }
  HANDLE get() const { return handle_; }
  void Close() {
    if (handle_ != Empty()) CloseHandle(std::exchange(handle_, Empty()));
  }

 private:
  HANDLE handle_ = Empty();
};

inline HANDLE NoFile() { return INVALID_HANDLE_VALUE; }
inline HANDLE NoHandle() { return nullptr; }

// CreateFileW's.
using FileHandle = OwnedHandle<NoFile>;
// CreateThread's, CreateEventW's, CreateMutexW's.
using KernelHandle = OwnedHandle<NoHandle>;

}  // namespace receiver
