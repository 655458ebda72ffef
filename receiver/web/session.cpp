#include "receiver/web/session.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include <boost/asio/write.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

#include "receiver/web/event_stream.h"
#include "receiver/web/limits.h"

namespace receiver {

namespace {

namespace beast = boost::beast;
namespace net = boost::asio;
using tcp = net::ip::tcp;

constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

bool IsHttpError(const beast::error_code& ec) {
  return ec.category() ==
         http::make_error_code(http::error::bad_method).category();
}

}  // namespace

Session::Session(tcp::socket socket, SongHub& hub)
    : stream_(std::move(socket)),
      hub_(hub),
      entry_(hub.connections(), *this),
      buffer_(limits::kBuffer) {}

void Session::Start() {
  beast::error_code ec;
  const tcp::endpoint peer = stream_.socket().remote_endpoint(ec);
  if (!ec) {
    const net::ip::address address = peer.address();
    peer_.address = address.to_string();
    peer_.loopback =
        address.is_loopback() ||
        (address.is_v6() && address.to_v6().is_v4_mapped() &&
         net::ip::make_address_v4(net::ip::v4_mapped, address.to_v6())
             .is_loopback());
  }
  stream_.expires_after(limits::kRequestTimeout);
  AwaitRequest();
}

void Session::Close() {
  beast::error_code ignored;
  stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
  stream_.close();
}

void Session::AwaitRequest() {
  scan_ = HeadScan();
  if (buffer_.size() > 0) return ReadHead();
  idle_since_ = Clock::now();
  ReadMore();
}

void Session::ReadMore() {
  const std::size_t room =
      std::min(limits::kReadChunk, buffer_.max_size() - buffer_.size());
  stream_.async_read_some(
      buffer_.prepare(room),
      [self = shared_from_this()](beast::error_code ec, std::size_t bytes) {
        self->buffer_.commit(bytes);
        if (ec == net::error::eof) return self->Finish();
        if (ec) return;  // timeout, reset: the socket closes with this
        self->idle_since_.reset();
        self->ReadHead();
      });
}

void Session::ReadHead() {
  const auto data = buffer_.cdata();
  const std::string_view received(static_cast<const char*>(data.data()),
                                  data.size());
  scan_ = ScanHead(received, limits::kHeader, scan_);
  switch (scan_.state) {
    case HeadState::kIncomplete:
      return ReadMore();
    case HeadState::kLineTooLong:
      return Refuse(http::status::uri_too_long);
    case HeadState::kTooLarge:
      return Refuse(http::status::request_header_fields_too_large);
    case HeadState::kComplete:
      break;
  }
  const std::string head =
      WithCrLf(received.substr(scan_.begin, scan_.end - scan_.begin));
  buffer_.consume(scan_.end);
  parser_.emplace();
  parser_->header_limit(limits::kParserHeader);
  parser_->body_limit(limits::kBody);
  beast::error_code ec;
  parser_->put(net::buffer(head), ec);
  if (!ec && !parser_->is_header_done()) ec = http::error::partial_message;
  if (ec) {
    return Refuse(ec == http::error::body_limit
                      ? http::status::payload_too_large
                      : http::status::bad_request);
  }
  if (parser_->is_done()) return OnRequest();
  const auto& header = parser_->get();
  if (header.version() >= 11 &&
      beast::iequals(header[http::field::expect], "100-continue")) {
    return net::async_write(
        stream_, net::buffer(kContinue.data(), kContinue.size()),
        [self = shared_from_this()](beast::error_code write_ec, std::size_t) {
          if (!write_ec) self->ReadBody();
        });
  }
  ReadBody();
}

void Session::ReadBody() {
  http::async_read(
      stream_, buffer_, *parser_,
      [self = shared_from_this()](beast::error_code ec, std::size_t) {
        if (ec == http::error::end_of_stream ||
            ec == http::error::partial_message) {
          return self->Finish();
        }
        if (ec == http::error::body_limit) {
          return self->Refuse(http::status::payload_too_large);
        }
        if (ec && IsHttpError(ec)) {
          return self->Refuse(http::status::bad_request);
        }
        if (ec) return;
        self->OnRequest();
      });
}

void Session::OnRequest() {
  const Request request = parser_->release();
  Answer answer = HandleRequest(request, peer_, hub_.settings(), hub_);
  if (answer.refused_host) hub_.NoteRefusedHost(*answer.refused_host);
  if (answer.follow_events) return FollowEvents(request.version());
  if (answer.later) {
    // Not forever: a connection whose answer does not come ends.
    stream_.expires_after(limits::kLaterAnswerTimeout);
    return answer.later(
        [self = shared_from_this(), close = answer.close](Response response) {
          self->Send(std::move(response), close);
        });
  }
  Send(std::move(answer.response), answer.close);
}

void Session::FollowEvents(unsigned version) {
  stream_.expires_never();
  auto events = std::make_shared<EventStream>(stream_.release_socket(),
                                              hub_.connections());
  hub_.Follow(events);
  events->Start(version, hub_.Current(), hub_.Idle());
}

void Session::Refuse(http::status status) {
  Send(TextResponse(status, 11,
                    std::string(http::obsolete_reason(status)) + "\n"),
       true);
}

void Session::Send(Response response, bool close) {
  response.keep_alive(!close);
  response_ = std::make_unique<Response>(std::move(response));
  stream_.expires_after(limits::kWriteTimeout);
  http::async_write(
      stream_, *response_,
      [self = shared_from_this(), close](beast::error_code ec, std::size_t) {
        self->response_.reset();
        if (ec) return;  // the client left; that is fine
        if (close) return self->Finish();
        self->stream_.expires_after(limits::kRequestTimeout);
        self->AwaitRequest();
      });
}

// Ends the connection gently: what the client still sends is read and
// dropped for a moment, so that closing does not reset the answer away.
void Session::Finish() {
  idle_since_ = Clock::now();
  beast::error_code ignored;
  stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
  stream_.expires_after(limits::kDrainTimeout);
  Drain();
}

void Session::Drain() {
  stream_.async_read_some(
      net::buffer(scratch_),
      [self = shared_from_this()](beast::error_code ec, std::size_t) {
        if (!ec) self->Drain();
      });
}

}  // namespace receiver
