#include "tests/support/loopback_listener.h"

namespace testing_support {

namespace {

void StartSockets() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
}

SOCKET BindLoopback(unsigned short port, unsigned short* bound_port) {
  StartSockets();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return s;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  int length = sizeof(address);
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  *bound_port = ntohs(address.sin_port);
  return s;
}

}  // namespace

LoopbackListener::LoopbackListener(unsigned short port, Mode mode)
    : mode_(mode) {
  InitializeCriticalSection(&lock_);
  unsigned short bound = 0;
  listener_ = BindLoopback(port, &bound);
  if (listener_ == INVALID_SOCKET || listen(listener_, SOMAXCONN) != 0) return;
  thread_ = CreateThread(nullptr, 0, AcceptLoop, this, 0, nullptr);
  if (thread_ != nullptr) port_ = bound;
}

LoopbackListener::~LoopbackListener() {
  if (listener_ != INVALID_SOCKET) closesocket(listener_);
  if (thread_ != nullptr) {
    WaitForSingleObject(thread_, 5000);
    CloseHandle(thread_);
  }
  for (SOCKET held : held_) closesocket(held);
  DeleteCriticalSection(&lock_);
}

DWORD WINAPI LoopbackListener::AcceptLoop(LPVOID self) {
  auto* listener = static_cast<LoopbackListener*>(self);
  for (;;) {
    SOCKET connection = accept(listener->listener_, nullptr, nullptr);
    if (connection == INVALID_SOCKET) return 0;  // listener closed
    std::string received;
    if (listener->mode_ == Mode::kRead || listener->mode_ == Mode::kCount) {
      char buffer[4096];
      int count;
      while ((count = recv(connection, buffer, sizeof(buffer), 0)) > 0) {
        received.append(buffer, static_cast<std::size_t>(count));
      }
    }
    EnterCriticalSection(&listener->lock_);
    if (listener->mode_ == Mode::kNeverRead) {
      listener->held_.push_back(connection);
    } else {
      closesocket(connection);
    }
    if (listener->mode_ != Mode::kCount)
      listener->requests_.push_back(received);
    ++listener->taken_;
    if (listener->mode_ != Mode::kCount) {
      LARGE_INTEGER now;
      QueryPerformanceCounter(&now);
      listener->arrivals_.push_back(now.QuadPart);
    }
    LeaveCriticalSection(&listener->lock_);
  }
}

bool LoopbackListener::WaitForRequests(std::size_t count,
                                       DWORD milliseconds) const {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  while (request_count() < count) {
    if (GetTickCount64() >= end) return false;
    Sleep(5);
  }
  return true;
}

std::vector<std::string> LoopbackListener::requests() const {
  EnterCriticalSection(&lock_);
  std::vector<std::string> copy = requests_;
  LeaveCriticalSection(&lock_);
  return copy;
}

std::size_t LoopbackListener::request_count() const {
  EnterCriticalSection(&lock_);
  const std::size_t count = taken_;
  LeaveCriticalSection(&lock_);
  return count;
}

std::vector<LONGLONG> LoopbackListener::arrivals() const {
  EnterCriticalSection(&lock_);
  std::vector<LONGLONG> copy = arrivals_;
  LeaveCriticalSection(&lock_);
  return copy;
}

unsigned short UnusedLoopbackPort() {
  unsigned short port = 0;
  const SOCKET s = BindLoopback(0, &port);
  if (s != INVALID_SOCKET) closesocket(s);
  return port;
}

}  // namespace testing_support
