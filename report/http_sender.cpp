#include "report/http_sender.h"

#include <winsock2.h>

#include <climits>
#include <cstring>

namespace report {

namespace {

// Owns one socket; closes it on every path out of the sender.
class Socket {
 public:
  explicit Socket(SOCKET handle) : handle_(handle) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  Socket(Socket&& other) noexcept : handle_(other.handle_) {
    other.handle_ = INVALID_SOCKET;
  }
  ~Socket() {
    if (handle_ != INVALID_SOCKET) closesocket(handle_);
  }
  SOCKET get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_SOCKET; }

 private:
  SOCKET handle_;
};

}  // namespace

bool SendRequest(const char* host, int port, const char* text) {
  if (std::strcmp(host, "localhost") == 0) host = "127.0.0.1";

  // Started on every call and never shut down: the player may hold its own
  // Windows Sockets start-up, and counts are per process.
  WSADATA wsa_data;
  if (WSAStartup(MAKEWORD(2, 0), &wsa_data) != 0) return false;

  sockaddr_in address;
  std::memset(&address, 0, sizeof(address));
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port & 0xFFFF));

  const unsigned long dotted = inet_addr(host);
  if (dotted != INADDR_NONE) {
    address.sin_addr.s_addr = dotted;
  } else {
    const hostent* entry = gethostbyname(host);
    if (entry == nullptr || entry->h_addr_list == nullptr ||
        entry->h_addr_list[0] == nullptr || entry->h_length != 4) {
      return false;
    }
    std::memcpy(&address.sin_addr, entry->h_addr_list[0], 4);
    if (address.sin_addr.s_addr == INADDR_NONE) return false;
  }

  const Socket socket_handle(socket(AF_INET, SOCK_STREAM, 0));
  if (!socket_handle.valid()) return false;
  if (connect(socket_handle.get(), reinterpret_cast<const sockaddr*>(&address),
              sizeof(address)) != 0) {
    return false;
  }
  const std::size_t length = std::strlen(text);
  if (length > static_cast<std::size_t>(INT_MAX)) return false;
  const int sent = send(socket_handle.get(), text, static_cast<int>(length), 0);
  return sent >= 0 && static_cast<std::size_t>(sent) == length;
}

}  // namespace report
