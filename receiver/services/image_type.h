#pragma once

#include <string_view>

namespace receiver {

// An image's content type from its first bytes: "image/jpeg", "image/png",
// "image/gif" or "image/webp"; empty for anything else.
std::string_view ImageType(std::string_view bytes);

}  // namespace receiver
