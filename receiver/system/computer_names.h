#pragma once

#include <string>
#include <vector>

namespace receiver {

// This PC's NetBIOS, DNS host and fully qualified names, as UTF-8; the ones
// Windows cannot tell are left out.
std::vector<std::string> ComputerNames();

}  // namespace receiver
