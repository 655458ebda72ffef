#include "receiver/web/event_stream.h"

#include <utility>

#include <boost/asio/write.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/http/write.hpp>

#include "receiver/web/limits.h"

namespace receiver {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

EventStream::EventStream(Socket socket, Connections& connections)
    : socket_(std::move(socket)),
      entry_(connections, *this),
      timer_(socket_.get_executor()),
      last_song_(Clock::now()) {}

void EventStream::Start(unsigned version, const std::optional<Song>& song,
                        bool idle) {
  beast::error_code ignored;
  // Without this, Nagle's algorithm can hold a small event back.
  socket_.set_option(tcp::no_delay(true), ignored);
  response_.version(version);
  response_.result(http::status::ok);
  response_.set(http::field::content_type, "text/event-stream; charset=utf-8");
  response_.set(http::field::cache_control, "no-store");
  response_.keep_alive(false);
  serializer_.emplace(response_);
  queue_.push_back("retry: 2000\n\n");
  if (song) queue_.push_back(SongEvent(*song, idle));
  writing_ = true;
  stall_.WriteStarted();
  http::async_write_header(
      socket_, *serializer_,
      [self = shared_from_this()](beast::error_code ec, std::size_t) {
        self->writing_ = false;
        if (ec) return self->Close();
        self->ReadUntilGone();
        self->Tick();
        self->Write();
      });
}

void EventStream::SendSong(std::string event) {
  last_song_ = Clock::now();
  Send(std::move(event));
}

void EventStream::Close() {
  if (closed_) return;
  closed_ = true;
  beast::error_code ignored;
  socket_.shutdown(tcp::socket::shutdown_both, ignored);
  socket_.close(ignored);
  timer_.cancel();
}

void EventStream::Send(std::string event) {
  if (closed_) return;
  if (queue_.size() >= limits::kQueuedEvents) return Close();
  queue_.push_back(std::move(event));
  Write();
}

void EventStream::Write() {
  if (writing_ || closed_ || queue_.empty()) return;
  writing_ = true;
  stall_.WriteStarted();
  net::async_write(
      socket_, net::buffer(queue_.front()),
      [self = shared_from_this()](beast::error_code ec, std::size_t) {
        self->writing_ = false;
        if (ec) return self->Close();
        self->queue_.pop_front();
        self->Write();
      });
}

// The page never sends anything; a finished read means it went away.
void EventStream::ReadUntilGone() {
  socket_.async_read_some(
      net::buffer(scratch_),
      [self = shared_from_this()](beast::error_code ec, std::size_t) {
        if (ec) return self->Close();
        self->ReadUntilGone();
      });
}

// A write may well be under way at a ping; only one that has not moved
// since the ping before means the reader is stuck.
void EventStream::Tick() {
  timer_.expires_after(limits::kPingInterval);
  timer_.async_wait([self = shared_from_this()](beast::error_code ec) {
    if (ec || self->closed_) return;
    if (self->stall_.StuckAtPing(self->writing_)) return self->Close();
    self->Send(": ping\n\n");
    self->Tick();
  });
}

}  // namespace receiver
