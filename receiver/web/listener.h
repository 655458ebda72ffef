#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "receiver/web/song_hub.h"

namespace receiver {

// Takes new connections, making room for each past the connection limit.
class Listener {
 public:
  Listener(boost::asio::ip::tcp::acceptor& acceptor, SongHub& hub);

  void Accept();
  // After a failed wait for completions, the accept under way may never
  // complete: it is cancelled and started again.
  void AcceptAgain();

 private:
  boost::asio::ip::tcp::acceptor& acceptor_;
  SongHub& hub_;
  boost::asio::steady_timer pause_;
};

}  // namespace receiver
