#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Which Host a request may name. A web page can make a browser send requests
// here through any DNS name that resolves to this PC (DNS rebinding); such a
// request names the page's host, never an IP address or this PC's own names.
namespace receiver {

// The name in a Host value, port aside, in lower case and without a final
// dot ("[::1]" keeps its brackets); empty when the value is no host at all.
std::string HostName(std::string_view host);

// "127.0.0.1" or "[::1]": dotted IPv4 or bracketed IPv6.
bool IsIpLiteral(std::string_view name);

// A name for --allow-host: letters, digits, '-', '_' and '.', no port.
bool IsPlainHostName(std::string_view name);

class HostCheck {
 public:
  // `names`: this PC's names and those given with --allow-host, any case.
  explicit HostCheck(const std::vector<std::string>& names);

  // `host` is the Host value, nothing when the request has none; only a
  // peer on this PC may leave it out (HTTP/1.0).
  bool Allows(std::optional<std::string_view> host, bool loopback_peer) const;

 private:
  std::vector<std::string> names_;
};

// A Host value fit for a console line or an answer: printable ASCII only,
// at most 100 characters.
std::string PrintableHost(std::string_view host);

}  // namespace receiver
