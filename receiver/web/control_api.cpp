#include "receiver/web/control_api.h"

#include <string>
#include <utility>

#include <boost/beast/core/string.hpp>

#include "receiver/web/control_page.h"

namespace receiver {

namespace {

namespace beast = boost::beast;

Response Json(http::status status, unsigned version, std::string json) {
  return TextResponse(status, version, std::move(json),
                      "application/json; charset=utf-8");
}

Response Refusal(unsigned version, std::string_view why) {
  return Json(http::status::forbidden, version,
              "{\"error\":\"" + std::string(why) + "\"}\n");
}

// A browser names the page a request comes from; ours is this origin.
bool FromAnotherSite(const Request& request) {
  const auto origin = request.find(http::field::origin);
  if (origin != request.end() &&
      origin->value() != "http://" + std::string(request[http::field::host])) {
    return true;
  }
  const auto site = request.find("Sec-Fetch-Site");
  return site != request.end() && !beast::iequals(site->value(), "same-origin");
}

}  // namespace

Answer ControlPage(const Request& request, const Peer& peer) {
  const unsigned version = request.version();
  Answer answer;
  answer.close = !request.keep_alive();
  if (!peer.loopback) {
    answer.response =
        TextResponse(http::status::forbidden, version,
                     "the control page answers only on this PC\n");
    return answer;
  }
  answer.response = TextResponse(http::status::ok, version, ControlPageHtml(),
                                 "text/html; charset=utf-8");
  // No other site may frame it and have the user click in it.
  answer.response.set("Content-Security-Policy", "frame-ancestors 'none'");
  answer.response.set("X-Frame-Options", "DENY");
  answer.response.set("Referrer-Policy", "no-referrer");
  return answer;
}

Answer ControlApi(const Request& request, std::string_view name,
                  const Peer& peer, const HandlerSettings& settings,
                  SongStore& songs) {
  const unsigned version = request.version();
  Answer answer;
  answer.close = !request.keep_alive();
  const bool post = request.method() == http::verb::post;
  if (!post && request.method() != http::verb::get) {
    answer.response = Json(http::status::method_not_allowed, version,
                           "{\"error\":\"GET or POST only\"}\n");
    answer.response.set(http::field::allow, "GET, POST");
    return answer;
  }
  if (!peer.loopback) {
    answer.response =
        Refusal(version, "the control page answers only on this PC");
    return answer;
  }
  const auto key = request.find(kControlKeyField);
  if (settings.control_key.empty() || key == request.end() ||
      !SameKey(key->value(), settings.control_key)) {
    answer.response = Refusal(
        version, "open the control page from the receiver's icon or menu");
    return answer;
  }
  if (FromAnotherSite(request)) {
    answer.response = Refusal(version, "not from another site's page");
    return answer;
  }
  ControlCall call;
  call.name = std::string(name);
  call.post = post;
  call.body = request.body();
  answer.later = [&songs, call = std::move(call), version](LaterAnswer done) {
    songs.Control(call, [done = std::move(done), version](int status,
                                                          std::string json) {
      done(Json(static_cast<http::status>(status), version, std::move(json)));
    });
  };
  return answer;
}

std::string ControlAddress(std::string_view page_address,
                           std::string_view key) {
  std::string address(page_address);
  while (!address.empty() && address.back() == '/') address.pop_back();
  return address + std::string(kControlPath) + "#key=" + std::string(key);
}

}  // namespace receiver
