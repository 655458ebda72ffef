#pragma once

#include <string>
#include <string_view>

namespace receiver {

// MD5 (RFC 1321) of `bytes` as 32 lower-case hex digits: what Last.fm's
// request signature is made of. Not for anything that must stay secret.
std::string Md5Hex(std::string_view bytes);

}  // namespace receiver
