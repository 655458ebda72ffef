#pragma once

#include <array>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/serializer.hpp>

#include "receiver/songs/song_text.h"
#include "receiver/system/stall_watch.h"
#include "receiver/web/connections.h"

namespace receiver {

// One page following /events: a response without end that carries a
// "data:" line for each new song.
class EventStream : public Connection,
                    public std::enable_shared_from_this<EventStream> {
 public:
  using Socket = boost::asio::ip::tcp::socket;

  EventStream(Socket socket, Connections& connections);

  void Start(unsigned version, const std::optional<Song>& song,
             bool idle = false);
  void SendSong(std::string event);
  bool closed() const { return closed_; }
  void Close() override;
  // A follower only ever waits; it has been idle since its last song.
  std::optional<Clock::time_point> IdleSince() const override {
    return last_song_;
  }

 private:
  void Send(std::string event);
  void Write();
  void ReadUntilGone();
  void Tick();

  Socket socket_;
  Connections::Entry entry_;
  boost::asio::steady_timer timer_;
  boost::beast::http::response<boost::beast::http::empty_body> response_;
  std::optional<
      boost::beast::http::response_serializer<boost::beast::http::empty_body>>
      serializer_;
  std::deque<std::string> queue_;
  std::array<char, 256> scratch_;
  StallWatch stall_;
  Clock::time_point last_song_;
  bool writing_ = false;
  bool closed_ = false;
};

}  // namespace receiver
