#pragma once

#include <string_view>

namespace receiver {

enum class Route { kReport, kPage, kSongJson, kEvents, kNotFound };

// The receiver's paths; the query is not part of `path`.
Route RouteFor(std::string_view path);

// GET and HEAD are the only methods any path takes.
bool IsAllowedMethod(std::string_view method);

// A report that a web page made the browser send (a cross-site request
// forgery) carries Sec-Fetch-Site "cross-site" or "same-site"; the plug-in
// and an address typed by hand do not.
bool IsForeignBrowserRequest(std::string_view sec_fetch_site);

}  // namespace receiver
