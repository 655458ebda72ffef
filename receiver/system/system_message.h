#pragma once

#include <string>

namespace receiver {

// The text of GetLastError(), of a socket error or of a registry status, as
// UTF-8 without the final period; "error N" when Windows has none.
std::string SystemMessage(unsigned long error);

}  // namespace receiver
