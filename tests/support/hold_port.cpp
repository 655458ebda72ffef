// Listens on a loopback TCP port, as another program that has the port:
// Windows' table of listeners names this process as its owner.
//   hold_port PORT MILLISECONDS
// Prints "listening" once it listens; ends after MILLISECONDS.
// Exit code: 0 held, 1 cannot listen, 2 wrong use.
#include <winsock2.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port =
      htons(static_cast<u_short>(std::wcstoul(argv[1], nullptr, 10)));
  if (listener == INVALID_SOCKET ||
      bind(listener, reinterpret_cast<const sockaddr*>(&address),
           sizeof address) != 0 ||
      listen(listener, SOMAXCONN) != 0) {
    return 1;
  }
  // Wine names a listener's process only when that process holds the
  // socket's own descriptor, which an option's query brings it.
  int size = 0;
  int length = sizeof size;
  getsockopt(listener, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&size),
             &length);
  std::printf("listening\n");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
  closesocket(listener);
  WSACleanup();
  return 0;
}
