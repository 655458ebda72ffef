#include "receiver/system/ascii.h"

namespace receiver {

namespace {

template <typename Skip>
std::string_view Trim(std::string_view text, Skip skip) {
  while (!text.empty() && skip(text.front())) text.remove_prefix(1);
  while (!text.empty() && skip(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool SameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool StartsWithAscii(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         SameAscii(text.substr(0, prefix.size()), prefix);
}

std::string_view TrimBlanks(std::string_view text) {
  return Trim(text, [](char c) { return c == ' ' || c == '\t'; });
}

std::string_view TrimSpace(std::string_view text) {
  return Trim(text, [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
  });
}

}  // namespace receiver
