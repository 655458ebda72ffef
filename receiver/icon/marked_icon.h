#pragma once

#include <windows.h>

#include <utility>

namespace receiver {

// An icon this program made, destroyed with its owner (never a shared one
// that LoadIcon gave).
class IconHandle {
 public:
  IconHandle() = default;
  explicit IconHandle(HICON icon) : icon_(icon) {}
  IconHandle(IconHandle&& other) noexcept
      : icon_(std::exchange(other.icon_, nullptr)) {}
  IconHandle& operator=(IconHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      icon_ = std::exchange(other.icon_, nullptr);
    }
    return *this;
  }
  IconHandle(const IconHandle&) = delete;
  IconHandle& operator=(const IconHandle&) = delete;
  ~IconHandle() { Reset(); }

  HICON get() const { return icon_; }

 private:
  void Reset() {
    if (icon_ != nullptr) DestroyIcon(std::exchange(icon_, nullptr));
  }

  HICON icon_ = nullptr;
};

// `icon` with a red dot at its lower right (MarkWithDot), drawn now; none
// when GDI cannot.
IconHandle MarkedIcon(HICON icon);

}  // namespace receiver
