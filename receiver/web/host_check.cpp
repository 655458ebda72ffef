#include "receiver/web/host_check.h"

#include <algorithm>

#include "receiver/system/ascii.h"

namespace receiver {

namespace {

constexpr std::size_t kMaxPrintedHost = 100;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsNameCharacter(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         c == '-' || c == '_' || c == '.';
}

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), IsDigit);
}

bool IsIpv4(std::string_view text) {
  for (int part = 0; part < 4; ++part) {
    const std::size_t dot = text.find('.');
    if ((part < 3) == (dot == std::string_view::npos)) return false;
    const std::string_view number = text.substr(0, dot);
    if (number.empty() || number.size() > 3 || !AllDigits(number)) {
      return false;
    }
    int value = 0;
    for (const char c : number) value = value * 10 + (c - '0');
    if (value > 255) return false;
    if (part < 3) text.remove_prefix(dot + 1);
  }
  return true;
}

// Counts the 16-bit groups of one side of "::"; -1 when it is malformed.
int Ipv6Groups(std::string_view text, bool may_end_in_ipv4) {
  if (text.empty()) return 0;
  int groups = 0;
  while (true) {
    const std::size_t colon = text.find(':');
    const std::string_view group = text.substr(0, colon);
    if (colon == std::string_view::npos && may_end_in_ipv4 &&
        group.find('.') != std::string_view::npos) {
      return IsIpv4(group) ? groups + 2 : -1;
    }
    if (group.empty() || group.size() > 4 ||
        !std::all_of(group.begin(), group.end(), IsHexDigit)) {
      return -1;
    }
    ++groups;
    if (colon == std::string_view::npos) return groups;
    text.remove_prefix(colon + 1);
  }
}

bool IsIpv6(std::string_view text) {
  const std::size_t gap = text.find("::");
  if (gap == std::string_view::npos) return Ipv6Groups(text, true) == 8;
  const std::string_view right = text.substr(gap + 2);
  if (right.find("::") != std::string_view::npos) return false;
  const int left_groups = Ipv6Groups(text.substr(0, gap), false);
  const int right_groups = Ipv6Groups(right, true);
  return left_groups >= 0 && right_groups >= 0 &&
         left_groups + right_groups <= 7;
}

}  // namespace

std::string HostName(std::string_view host) {
  while (!host.empty() && (host.front() == ' ' || host.front() == '\t')) {
    host.remove_prefix(1);
  }
  while (!host.empty() && (host.back() == ' ' || host.back() == '\t')) {
    host.remove_suffix(1);
  }
  std::string_view name = host;
  std::string_view port;
  if (!host.empty() && host.front() == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string_view::npos) return {};
    name = host.substr(0, close + 1);
    const std::string_view rest = host.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return {};
    if (!rest.empty()) port = rest.substr(1);
  } else if (const std::size_t colon = host.find(':');
             colon != std::string_view::npos) {
    name = host.substr(0, colon);
    port = host.substr(colon + 1);
  }
  if (!AllDigits(port) || name.empty()) return {};
  std::string lower;
  lower.reserve(name.size());
  for (const char c : name) lower += LowerAscii(c);
  if (lower.front() == '[') return IsIpLiteral(lower) ? lower : std::string();
  if (lower.find("..") != std::string::npos) return {};
  if (lower.size() > 1 && lower.back() == '.') lower.pop_back();
  if (lower.front() == '.' ||
      !std::all_of(lower.begin(), lower.end(), IsNameCharacter)) {
    return {};
  }
  return lower;
}

bool IsIpLiteral(std::string_view name) {
  if (name.size() > 2 && name.front() == '[' && name.back() == ']') {
    return IsIpv6(name.substr(1, name.size() - 2));
  }
  return IsIpv4(name);
}

bool IsPlainHostName(std::string_view name) {
  return !name.empty() && name.size() <= 253 && name.front() != '.' &&
         name.find("..") == std::string_view::npos &&
         std::all_of(name.begin(), name.end(), IsNameCharacter);
}

HostCheck::HostCheck(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    std::string plain = HostName(name);
    if (!plain.empty()) names_.push_back(std::move(plain));
  }
}

bool HostCheck::Allows(std::optional<std::string_view> host,
                       bool loopback_peer) const {
  if (!host) return loopback_peer;
  const std::string name = HostName(*host);
  if (name.empty()) return false;
  if (IsIpLiteral(name) || name == "localhost") return true;
  return std::find(names_.begin(), names_.end(), name) != names_.end();
}

std::string PrintableHost(std::string_view host) {
  std::string out;
  for (const char c : host.substr(0, kMaxPrintedHost)) {
    out += c >= 0x20 && c <= 0x7E ? c : '?';
  }
  if (host.size() > kMaxPrintedHost) out += "...";
  return out;
}

}  // namespace receiver
