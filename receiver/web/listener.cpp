#include "receiver/web/listener.h"

#include <chrono>
#include <memory>
#include <utility>

#include "receiver/web/limits.h"
#include "receiver/web/session.h"

namespace receiver {

namespace beast = boost::beast;
namespace net = boost::asio;
using tcp = net::ip::tcp;

Listener::Listener(tcp::acceptor& acceptor, SongHub& hub)
    : acceptor_(acceptor), hub_(hub), pause_(acceptor.get_executor()) {}

void Listener::AcceptAgain() {
  beast::error_code ignored;
  acceptor_.cancel(ignored);
  Accept();
}

void Listener::Accept() {
  acceptor_.async_accept([this](beast::error_code ec, tcp::socket socket) {
    if (ec == net::error::operation_aborted) return;
    if (ec) {
      // Out of sockets or memory: breathe before trying again.
      pause_.expires_after(std::chrono::milliseconds(100));
      pause_.async_wait([this](beast::error_code wait_ec) {
        if (!wait_ec) Accept();
      });
      return;
    }
    Connections& connections = hub_.connections();
    if (connections.Open() < limits::kConnections ||
        connections.CloseLongestIdle() ||
        connections.Open() < limits::kHardConnections) {
      std::make_shared<Session>(std::move(socket), hub_)->Start();
    }
    Accept();
  });
}

}  // namespace receiver
