#pragma once

#include <optional>
#include <string_view>

#include "receiver/web/handler.h"

// The control page at /control and its calls under /control/api/, for this
// PC's user only: answered to peers on this PC alone (also with --listen
// 0.0.0.0), and every call carries the key made at each start in
// kControlKeyField, a field that a page of another site cannot send without
// a preflight, which gets no permission here. The icon opens the page with
// the key in the address's fragment, which never leaves the browser.
namespace receiver {

inline constexpr std::string_view kControlKeyField = "X-Trackwire-Key";
inline constexpr std::string_view kControlPath = "/control";
inline constexpr std::string_view kControlApiPrefix = "/control/api/";

// GET or HEAD /control: the page, which holds nothing of the receiver's.
Answer ControlPage(const Request& request, const Peer& peer);

// A call under /control/api/: refused unless it comes from this PC with the
// key and from no other site's page; else the store's answer, later.
Answer ControlApi(const Request& request, std::string_view name,
                  const Peer& peer, const HandlerSettings& settings,
                  SongStore& songs);

// The control page's address as the icon opens it, key included:
// "http://127.0.0.1:PORT/control#key=KEY".
std::string ControlAddress(std::string_view page_address, std::string_view key);

}  // namespace receiver
