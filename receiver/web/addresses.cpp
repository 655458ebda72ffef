#include "receiver/web/addresses.h"

namespace receiver {

namespace {

std::string Host(std::string_view address) {
  if (address.find(':') == std::string_view::npos) return std::string(address);
  return "[" + std::string(address) + "]";
}

}  // namespace

std::string ListenAddress(std::string_view listen, int port) {
  return Host(listen) + ":" + std::to_string(port);
}

std::string PageAddress(std::string_view listen, int port) {
  std::string host;
  if (listen == "0.0.0.0") {
    host = "127.0.0.1";
  } else if (listen == "::") {
    host = "[::1]";
  } else {
    host = Host(listen);
  }
  const std::string port_part = port == 80 ? "" : ":" + std::to_string(port);
  return "http://" + host + port_part + "/";
}

std::string OverlayAddress(std::string_view listen, int port) {
  return PageAddress(listen, port) + "?overlay=1";
}

}  // namespace receiver
