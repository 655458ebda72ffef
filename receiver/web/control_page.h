#pragma once

#include <string>

namespace receiver {

// The control page: control.html with its style and scripts. Everything it
// shows it asks for under /control/api/ with the key from its address.
std::string ControlPageHtml();

}  // namespace receiver
