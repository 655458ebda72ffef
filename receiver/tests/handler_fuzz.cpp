// Any bytes as a request, through the same parse and handler as the server:
// nothing is stored but by a GET of the report path that no page could have
// sent, a HEAD answer carries no body, and every answer is well formed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <boost/asio/buffer.hpp>
#include <boost/beast/http/parser.hpp>

#include "receiver/web/handler.h"

namespace {

class Songs : public receiver::SongStore {
 public:
  std::optional<receiver::Song> Current() const override { return song; }
  void Store(receiver::Song stored) override {
    song = std::move(stored);
    ++count;
  }
  std::optional<receiver::Song> song;
  int count = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace http = boost::beast::http;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  http::request_parser<http::string_body> parser;
  parser.header_limit(8192);
  parser.body_limit(8192);
  boost::beast::error_code ec;
  parser.put(boost::asio::buffer(input.data(), input.size()), ec);
  if (ec || !parser.is_header_done()) return 0;
  parser.put_eof(ec);
  const receiver::Request request = parser.release();
  receiver::HandlerSettings settings;
  settings.hosts = receiver::HostCheck({"studio"});
  settings.key =
      (size % 2) != 0 ? std::optional<std::string>("k") : std::nullopt;
  settings.to_utf8 = [](std::string_view bytes) { return std::string(bytes); };
  settings.now = [] { return std::string("2024-05-01T20:15:00Z"); };
  receiver::Peer peer;
  peer.loopback = (size % 3) != 0;
  Songs songs;
  const receiver::Answer answer =
      receiver::HandleRequest(request, peer, settings, songs);
  if (songs.count > 1) abort();
  if (songs.count == 1) {
    if (request.method() != http::verb::get) abort();
    if (receiver::LooksLikeWebPage(request)) abort();
    if (answer.response.result() != http::status::no_content) abort();
    if (songs.song->title.size() > 4 * 500) abort();
  }
  if (answer.follow_events) return 0;
  const unsigned status = answer.response.result_int();
  if (status < 200 || status > 599) abort();
  if (request.method() == http::verb::head && !answer.response.body().empty()) {
    abort();
  }
  return 0;
}
