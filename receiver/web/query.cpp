#include "receiver/web/query.h"

#include "receiver/system/ascii.h"

namespace receiver {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Calls `visit(name, value)` for each '&'-separated pair, both still encoded.
template <typename Visit>
void ForEachPair(std::string_view query, Visit visit) {
  while (true) {
    const std::size_t end = query.find('&');
    const std::string_view pair = query.substr(0, end);
    const std::size_t equals = pair.find('=');
    visit(pair.substr(0, equals), equals == std::string_view::npos
                                      ? std::string_view()
                                      : pair.substr(equals + 1));
    if (end == std::string_view::npos) return;
    query.remove_prefix(end + 1);
  }
}

}  // namespace

Target SplitTarget(std::string_view target) {
  const std::size_t question = target.find('?');
  if (question == std::string_view::npos) return {target, {}};
  return {target.substr(0, question), target.substr(question + 1)};
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out +=
          static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else if (text[i] == '+') {
      out += ' ';
    } else {
      out += text[i];
    }
  }
  return out;
}

bool HasQueryName(std::string_view query, std::string_view name) {
  bool found = false;
  ForEachPair(query, [&](std::string_view raw_name, std::string_view) {
    found = found || PercentDecode(raw_name) == name;
  });
  return found;
}

bool SaysUtf8(std::string_view query) {
  std::optional<bool> utf8;
  ForEachPair(query, [&](std::string_view raw_name, std::string_view value) {
    if (!utf8 && SameAscii(PercentDecode(raw_name), "charset")) {
      utf8 = SameAscii(PercentDecode(value), "utf-8");
    }
  });
  return utf8.value_or(false);
}

std::optional<ReportBytes> ParseReportQuery(std::string_view query) {
  ReportBytes report;
  bool seen[3] = {false, false, false};
  std::string* const fields[3] = {&report.artist, &report.album, &report.title};
  const std::string_view names[3] = {"artist", "album", "title"};
  ForEachPair(query, [&](std::string_view raw_name, std::string_view value) {
    const std::string name = PercentDecode(raw_name);
    for (int k = 0; k < 3; ++k) {
      if (!seen[k] && name == names[k]) {
        seen[k] = true;
        *fields[k] = PercentDecode(value);
      }
    }
  });
  if (!seen[0] && !seen[1] && !seen[2]) return std::nullopt;
  return report;
}

std::optional<std::string> QueryValue(std::string_view query,
                                      std::string_view name) {
  std::optional<std::string> found;
  ForEachPair(query, [&](std::string_view raw_name, std::string_view value) {
    if (!found && PercentDecode(raw_name) == name) found = PercentDecode(value);
  });
  return found;
}

}  // namespace receiver
