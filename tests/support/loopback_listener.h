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
  // Port 0 takes any free port. Check ok() after construction.
  explicit LoopbackListener(unsigned short port = 0);
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  bool ok() const { return port_ != 0; }
  unsigned short port() const { return port_; }

  // Waits (without pumping messages) until `count` connections have closed.
  bool WaitForRequests(std::size_t count, DWORD milliseconds) const;
  std::vector<std::string> requests() const;
  std::size_t request_count() const;

 private:
  static DWORD WINAPI AcceptLoop(LPVOID self);

  SOCKET listener_ = INVALID_SOCKET;
  unsigned short port_ = 0;
  HANDLE thread_ = nullptr;
  mutable CRITICAL_SECTION lock_;
  std::vector<std::string> requests_;
};

// A port on 127.0.0.1 that refuses connections (bound, then closed).
unsigned short UnusedLoopbackPort();

}  // namespace testing_support
