#include "receiver/services/image_type.h"

namespace receiver {

namespace {

bool StartsWith(std::string_view bytes, std::string_view signature) {
  return bytes.substr(0, signature.size()) == signature;
}

}  // namespace

std::string_view ImageType(std::string_view bytes) {
  using namespace std::string_view_literals;
  if (StartsWith(bytes, "\xFF\xD8\xFF"sv)) return "image/jpeg";
  if (StartsWith(bytes, "\x89PNG\r\n\x1A\n"sv)) return "image/png";
  if (StartsWith(bytes, "GIF87a"sv) || StartsWith(bytes, "GIF89a"sv)) {
    return "image/gif";
  }
  // RIFF, the chunk's size, WEBP.
  if (bytes.size() >= 12 && StartsWith(bytes, "RIFF"sv) &&
      bytes.substr(8, 4) == "WEBP"sv) {
    return "image/webp";
  }
  return {};
}

}  // namespace receiver
