#include "receiver/web/html.h"

namespace receiver {

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string FillPage(std::string_view page, const PageValues& values) {
  std::string out;
  out.reserve(page.size() + 4096);
  std::size_t at = 0;
  while (at < page.size()) {
    const std::size_t open = page.find("{{", at);
    const std::size_t close =
        open == std::string_view::npos ? open : page.find("}}", open);
    if (close == std::string_view::npos) break;
    out += page.substr(at, open - at);
    const std::string_view name = page.substr(open + 2, close - open - 2);
    for (const auto& [key, value] : values) {
      if (key == name) out += value;
    }
    at = close + 2;
  }
  out += page.substr(at);
  return out;
}

}  // namespace receiver
