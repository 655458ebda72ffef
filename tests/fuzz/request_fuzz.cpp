// Any request path, host and values: no out-of-bounds access (the sanitizers
// watch), and the text is what an independent reading of the template gives:
// the first three "%s" take the values, "%%" gives "%", all else is literal.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "report/request.h"

namespace {

// Splits the input at 0xFF bytes into path, host, artist, album, title.
std::vector<std::string> Fields(const uint8_t* data, size_t size) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF && fields.size() < 5) {
      fields.emplace_back();
    } else {
      fields.back() += static_cast<char>(data[i]);
    }
  }
  fields.resize(5);
  return fields;
}

// The reference reading: find the next '%' with std::string::find and decide
// by the character after it.
std::string Expected(const std::string& path, const std::string* values) {
  std::string out;
  int used = 0;
  std::size_t from = 0;
  for (;;) {
    const std::size_t percent = path.find('%', from);
    out.append(
        path, from,
        percent == std::string::npos ? std::string::npos : percent - from);
    if (percent == std::string::npos) return out;
    const std::string next = path.substr(percent + 1, 1);
    if (next == "%") {
      out += '%';
      from = percent + 2;
    } else if (next == "s" && used < 3) {
      out += values[used++];
      from = percent + 2;
    } else {
      out += '%';
      from = percent + 1;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> f = Fields(data, size);
  const std::string values[3] = {f[2], f[3], f[4]};
  const std::string request =
      report::ComposeRequest(f[0], f[1], values[0], values[1], values[2]);
  const std::string expected = "GET " + Expected(f[0], values) +
                               " HTTP/1.1\r\nHost: " + f[1] +
                               "\r\nUser-Agent: Winamp Tunebeacon\r\n\r\n";
  if (request != expected) abort();
  report::ParsePort(f[1]);
  report::StripArtistPrefix(f[4], f[2]);
  return 0;
}
