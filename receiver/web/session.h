#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/parser.hpp>

#include "receiver/web/connections.h"
#include "receiver/web/handler.h"
#include "receiver/web/request_head.h"
#include "receiver/web/song_hub.h"

namespace receiver {

// One connection: requests in turn, each handed to HandleRequest and its
// answer written. Lines may end in CR LF or a bare LF; the head is read
// here, the body by the parser.
class Session : public Connection,
                public std::enable_shared_from_this<Session> {
 public:
  Session(boost::asio::ip::tcp::socket socket, SongHub& hub);

  void Start();
  // Closes the stream, which cancels its timer too.
  void Close() override;
  std::optional<Clock::time_point> IdleSince() const override {
    return idle_since_;
  }

 private:
  void AwaitRequest();
  void ReadMore();
  void ReadHead();
  void ReadBody();
  void OnRequest();
  void FollowEvents(unsigned version);
  void Refuse(http::status status);
  void Send(Response response, bool close);
  void Finish();
  void Drain();

  boost::beast::tcp_stream stream_;
  SongHub& hub_;
  Connections::Entry entry_;
  boost::beast::flat_buffer buffer_;
  HeadScan scan_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::unique_ptr<Response> response_;
  std::optional<Clock::time_point> idle_since_;
  Peer peer_;
  std::array<char, 4096> scratch_;
};

}  // namespace receiver
