#pragma once

#include <cstddef>
#include <string>

namespace receiver {

// `bytes` random bytes from the system's generator as lower-case hex, for a
// key made at each start; empty when the system has none to give.
std::string RandomHex(std::size_t bytes);

}  // namespace receiver
