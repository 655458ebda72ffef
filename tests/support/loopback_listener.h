#pragma once

#include <windows.h>
#include <winsock2.h>

#include <string>
#include <vector>

namespace testing_support {

// A TCP listener on 127.0.0.1 that accepts connections on a thread of its
// own and keeps, for each, every byte received until the peer closed.
class LoopbackListener {
 public:
  // How the listener treats a connection it accepted.
  enum class Mode {
    kRead,         // read until the peer closes, keep the bytes
    kCount,        // read until the peer closes, keep only the count
    kCloseAtOnce,  // close right after accept, read nothing
    kNeverRead,    // keep the connection open, read nothing
  };

  // Port 0 takes any free port. Check ok() after construction.
  explicit LoopbackListener(unsigned short port = 0, Mode mode = Mode::kRead);
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  bool ok() const { return port_ != 0; }
  unsigned short port() const { return port_; }

  // Waits (without pumping messages) until `count` connections were taken:
  // closed by the peer in kRead mode, accepted in the others.
  bool WaitForRequests(std::size_t count, DWORD milliseconds) const;
  std::vector<std::string> requests() const;
  std::size_t request_count() const;
  // QueryPerformanceCounter at the moment each connection was taken.
  std::vector<LONGLONG> arrivals() const;

 private:
  static DWORD WINAPI AcceptLoop(LPVOID self);

  Mode mode_;
  std::vector<SOCKET> held_;  // kNeverRead connections, closed at the end
  SOCKET listener_ = INVALID_SOCKET;
  unsigned short port_ = 0;
  HANDLE thread_ = nullptr;
  mutable CRITICAL_SECTION lock_;
  std::vector<std::string> requests_;
  std::size_t taken_ = 0;
  std::vector<LONGLONG> arrivals_;
};

// A port on 127.0.0.1 that refuses connections (bound, then closed).
unsigned short UnusedLoopbackPort();

}  // namespace testing_support
