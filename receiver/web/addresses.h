#pragma once

#include <string>
#include <string_view>

// Where the receiver can be reached, for the console, the icon and the menu.
namespace receiver {

// "127.0.0.1:80", "[::1]:8080": what the receiver listens on.
std::string ListenAddress(std::string_view listen, int port);

// The page's address for a browser on this PC: an address that listens on
// all of them is reached through loopback ("::" through [::1], which an
// IPv6-only socket answers), and port 80 goes unsaid.
std::string PageAddress(std::string_view listen, int port);

// The page's address as an overlay: PageAddress with "?overlay=1".
std::string OverlayAddress(std::string_view listen, int port);

}  // namespace receiver
