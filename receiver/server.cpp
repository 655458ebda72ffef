// The HTTP side, on Boost.Beast: the one translation unit that includes it.
#include "receiver/server.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "receiver/clean_text.h"
#include "receiver/clock.h"
#include "receiver/code_page.h"
#include "receiver/console.h"
#include "receiver/page.h"
#include "receiver/query.h"
#include "receiver/route.h"
#include "receiver/song_files.h"
#include "receiver/song_text.h"

namespace receiver {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

constexpr std::size_t kHeaderLimit = 16 * 1024;
constexpr std::uint64_t kBodyLimit = 16 * 1024;
constexpr std::size_t kBufferLimit = 64 * 1024;
constexpr auto kIdleTimeout = std::chrono::seconds(5);
constexpr auto kWriteTimeout = std::chrono::seconds(10);
constexpr auto kDrainTimeout = std::chrono::seconds(1);
constexpr auto kPingInterval = std::chrono::seconds(15);
constexpr int kMaxConnections = 64;
constexpr std::size_t kMaxQueuedEvents = 32;

using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

// Counts an open connection for as long as it lives.
class ConnectionSlot {
 public:
  explicit ConnectionSlot(int& count) : count_(&count) { ++*count_; }
  ConnectionSlot(ConnectionSlot&& other) noexcept
      : count_(std::exchange(other.count_, nullptr)) {}
  ConnectionSlot(const ConnectionSlot&) = delete;
  ConnectionSlot& operator=(const ConnectionSlot&) = delete;
  ConnectionSlot& operator=(ConnectionSlot&&) = delete;
  ~ConnectionSlot() {
    if (count_ != nullptr) --*count_;
  }

 private:
  int* count_;
};

class EventStream;

// What every connection shares: the latest song, its files and the pages
// that follow /events.
class SongState {
 public:
  explicit SongState(const ServerConfig& config) : config_(config) {}

  const Song* song() const { return song_ ? &*song_ : nullptr; }
  const ServerConfig& config() const { return config_; }
  int& connections() { return connections_; }

  // Writes both files, then tells the console and every page. Returns
  // whether both files were written.
  bool Store(Song song);

  void Subscribe(const std::shared_ptr<EventStream>& stream) {
    subscribers_.erase(
        std::remove_if(subscribers_.begin(), subscribers_.end(),
                       [](const auto& gone) { return gone.expired(); }),
        subscribers_.end());
    subscribers_.push_back(stream);
  }

 private:
  const ServerConfig& config_;
  std::optional<Song> song_;
  int connections_ = 0;
  std::vector<std::weak_ptr<EventStream>> subscribers_;
};

// One page following /events: a response without end that carries a
// "data:" line for each new song.
class EventStream : public std::enable_shared_from_this<EventStream> {
 public:
  EventStream(tcp::socket socket, ConnectionSlot slot)
      : socket_(std::move(socket)),
        slot_(std::move(slot)),
        timer_(socket_.get_executor()) {}

  void Start(unsigned version, const Song* song) {
    beast::error_code ignored;
    // Without this, Nagle's algorithm can hold a small event back.
    socket_.set_option(tcp::no_delay(true), ignored);
    response_.version(version);
    response_.result(http::status::ok);
    response_.set(http::field::content_type,
                  "text/event-stream; charset=utf-8");
    response_.set(http::field::cache_control, "no-store");
    response_.keep_alive(false);
    serializer_.emplace(response_);
    queue_.push_back("retry: 2000\n\n");
    if (song != nullptr) queue_.push_back(SongEvent(*song));
    writing_ = true;
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

  void Send(std::string event) {
    if (closed_) return;
    if (queue_.size() >= kMaxQueuedEvents) return Close();
    queue_.push_back(std::move(event));
    Write();
  }

 private:
  void Write() {
    if (writing_ || closed_ || queue_.empty()) return;
    writing_ = true;
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
  void ReadUntilGone() {
    socket_.async_read_some(
        net::buffer(scratch_),
        [self = shared_from_this()](beast::error_code ec, std::size_t) {
          if (ec) return self->Close();
          self->ReadUntilGone();
        });
  }

  // A comment now and then keeps proxies from timing out; a write still
  // pending since the last one means the reader is stuck.
  void Tick() {
    timer_.expires_after(kPingInterval);
    timer_.async_wait([self = shared_from_this()](beast::error_code ec) {
      if (ec || self->closed_) return;
      if (self->writing_) return self->Close();
      self->Send(": ping\n\n");
      self->Tick();
    });
  }

  void Close() {
    if (closed_) return;
    closed_ = true;
    beast::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    timer_.cancel();
  }

  tcp::socket socket_;
  ConnectionSlot slot_;
  net::steady_timer timer_;
  http::response<http::empty_body> response_;
  std::optional<http::response_serializer<http::empty_body>> serializer_;
  std::deque<std::string> queue_;
  std::array<char, 256> scratch_;
  bool writing_ = false;
  bool closed_ = false;
};

bool SongState::Store(Song song) {
  const std::wstring base = config_.folder + L"\\now_playing.";
  std::string error =
      ReplaceFile(base + L"txt", TextLine(config_.format, song));
  if (error.empty()) error = ReplaceFile(base + L"json", SongFileJson(&song));
  song_ = std::move(song);
  PrintLine(LocalClockText() + "  " + TextLine(std::nullopt, *song_));
  if (!error.empty()) PrintError("trackwire_receiver: " + error);
  const std::string event = SongEvent(*song_);
  std::vector<std::weak_ptr<EventStream>> alive;
  for (const auto& subscriber : subscribers_) {
    if (const auto stream = subscriber.lock()) {
      stream->Send(event);
      alive.push_back(stream);
    }
  }
  subscribers_ = std::move(alive);
  return error.empty();
}

bool IsHttpError(const beast::error_code& ec) {
  return ec.category() ==
         http::make_error_code(http::error::bad_method).category();
}

// One connection: requests in turn, answered one by one.
class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, SongState& state)
      : stream_(std::move(socket)),
        state_(state),
        slot_(state.connections()),
        buffer_(kBufferLimit) {}

  void Read() {
    parser_.emplace();
    parser_->header_limit(kHeaderLimit);
    parser_->body_limit(kBodyLimit);
    stream_.expires_after(kIdleTimeout);
    http::async_read(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code ec, std::size_t) {
          self->OnRead(ec);
        });
  }

 private:
  void OnRead(beast::error_code ec) {
    if (ec == http::error::end_of_stream ||
        ec == http::error::partial_message) {
      return Finish();
    }
    if (ec && IsHttpError(ec)) return Send(RefusalFor(ec), true);
    if (ec) return;  // timeout, reset: the socket closes with this session
    Request request = parser_->release();
    const Target target = SplitTarget(request.target());
    const Route route = RouteFor(target.path);
    const unsigned version = request.version();
    const bool keep_alive = request.keep_alive();
    if (route == Route::kNotFound) {
      return Send(Text(http::status::not_found, version, "not found\n"),
                  !keep_alive);
    }
    if (!IsAllowedMethod(request.method_string())) {
      Response response =
          Text(http::status::method_not_allowed, version, "GET or HEAD only\n");
      response.set(http::field::allow, "GET, HEAD");
      return Send(std::move(response), !keep_alive);
    }
    const bool head = request.method() == http::verb::head;
    Response response;
    switch (route) {
      case Route::kReport:
        response = Report(request, target.query);
        break;
      case Route::kPage:
        response =
            Text(http::status::ok, version,
                 PageHtml(state_.song(), HasQueryName(target.query, "overlay")),
                 "text/html; charset=utf-8");
        break;
      case Route::kSongJson:
        response = Text(http::status::ok, version, SongFileJson(state_.song()),
                        "application/json; charset=utf-8");
        break;
      case Route::kEvents:
        if (!head) return FollowEvents(version);
        response = Text(http::status::ok, version, "",
                        "text/event-stream; charset=utf-8");
        break;
      case Route::kNotFound:
        break;
    }
    if (head) response.body().clear();
    Send(std::move(response), !keep_alive);
  }

  // The report is stored before any answer: the plug-in may be gone already.
  Response Report(const Request& request, std::string_view query) {
    const unsigned version = request.version();
    if (IsForeignBrowserRequest(request["Sec-Fetch-Site"])) {
      return Text(http::status::forbidden, version,
                  "reports come from the player, not from web pages\n");
    }
    const std::optional<ReportBytes> bytes = ParseReportQuery(query);
    if (!bytes) {
      return Text(http::status::bad_request, version,
                  "expected artist, album and title in the query\n");
    }
    const unsigned code_page = state_.config().code_page;
    Song song;
    song.artist = CleanText(CodePageToUtf8(bytes->artist, code_page));
    song.album = CleanText(CodePageToUtf8(bytes->album, code_page));
    song.title = CleanText(CodePageToUtf8(bytes->title, code_page));
    song.received = IsoUtc(UnixSecondsNow());
    if (!state_.Store(std::move(song))) {
      return Text(http::status::internal_server_error, version,
                  "cannot write the song files\n");
    }
    Response response{http::status::no_content, version};
    response.set(http::field::cache_control, "no-store");
    return response;
  }

  void FollowEvents(unsigned version) {
    stream_.expires_never();
    auto events = std::make_shared<EventStream>(stream_.release_socket(),
                                                std::move(slot_));
    state_.Subscribe(events);
    events->Start(version, state_.song());
  }

  // The library's limits tell what was wrong with the request.
  Response RefusalFor(const beast::error_code& ec) {
    http::status status = http::status::bad_request;
    if (ec == http::error::body_limit) {
      status = http::status::payload_too_large;
    } else if (ec == http::error::header_limit ||
               ec == http::error::buffer_overflow) {
      const auto data = buffer_.cdata();
      const std::string_view received(static_cast<const char*>(data.data()),
                                      data.size());
      status = received.find('\n') == std::string_view::npos
                   ? http::status::uri_too_long
                   : http::status::request_header_fields_too_large;
    }
    return Text(status, 11, std::string(http::obsolete_reason(status)) + "\n");
  }

  static Response Text(http::status status, unsigned version, std::string body,
                       std::string_view type = "text/plain; charset=utf-8") {
    Response response{status, version};
    response.set(http::field::content_type, type);
    response.set(http::field::cache_control, "no-store");
    response.set("X-Content-Type-Options", "nosniff");
    response.body() = std::move(body);
    response.prepare_payload();
    return response;
  }

  void Send(Response response, bool close) {
    response.keep_alive(!close);
    response_ = std::make_unique<Response>(std::move(response));
    stream_.expires_after(kWriteTimeout);
    http::async_write(
        stream_, *response_,
        [self = shared_from_this(), close](beast::error_code ec, std::size_t) {
          self->response_.reset();
          if (ec) return;  // the client left; that is fine
          if (close) return self->Finish();
          self->Read();
        });
  }

  // Ends the connection gently: what the client still sends is read and
  // dropped for a moment, so that closing does not reset the answer away.
  void Finish() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.expires_after(kDrainTimeout);
    Drain();
  }

  void Drain() {
    stream_.async_read_some(
        net::buffer(scratch_),
        [self = shared_from_this()](beast::error_code ec, std::size_t) {
          if (!ec) self->Drain();
        });
  }

  beast::tcp_stream stream_;
  SongState& state_;
  ConnectionSlot slot_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::unique_ptr<Response> response_;
  std::array<char, 4096> scratch_;
};

class Listener {
 public:
  Listener(tcp::acceptor& acceptor, SongState& state)
      : acceptor_(acceptor), state_(state), pause_(acceptor.get_executor()) {}

  void Accept() {
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
      if (state_.connections() < kMaxConnections) {
        std::make_shared<Session>(std::move(socket), state_)->Read();
      }
      Accept();
    });
  }

 private:
  tcp::acceptor& acceptor_;
  SongState& state_;
  net::steady_timer pause_;
};

std::string PageAddress(const net::ip::address& address, int port) {
  std::string host =
      address.is_unspecified() ? "127.0.0.1" : address.to_string();
  if (address.is_v6() && !address.is_unspecified()) host = "[" + host + "]";
  return "http://" + host + (port == 80 ? "" : ":" + std::to_string(port)) +
         "/";
}

}  // namespace

int RunServer(const ServerConfig& config) {
  SongState state(config);
  net::io_context io(1);
  beast::error_code ec;
  const net::ip::address address = net::ip::make_address(config.listen, ec);
  if (ec) {
    PrintError(
        "trackwire_receiver: --listen takes an IP address such as "
        "127.0.0.1 or 0.0.0.0, not " +
        config.listen);
    return 2;
  }
  const tcp::endpoint endpoint(address,
                               static_cast<unsigned short>(config.port));
  tcp::acceptor acceptor(io);
  acceptor.open(endpoint.protocol(), ec);
  if (!ec) {
    // Nobody else may take the port while the receiver has it.
    const int exclusive = 1;
    setsockopt(acceptor.native_handle(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    acceptor.bind(endpoint, ec);
  }
  if (!ec) acceptor.listen(net::socket_base::max_listen_connections, ec);
  const std::string where =
      config.listen + " port " + std::to_string(config.port);
  if (ec == net::error::address_in_use || ec == net::error::access_denied) {
    PrintError("trackwire_receiver: port " + std::to_string(config.port) +
               " on " + config.listen +
               " is already in use by another program. Start the receiver "
               "with another port, e.g. --port 8080, and enter that port in "
               "the plug-in's settings.");
    return 2;
  }
  if (ec.value() == WSAEADDRNOTAVAIL) {
    PrintError("trackwire_receiver: " + config.listen +
               " is not an address of this PC; --listen 127.0.0.1 takes "
               "reports from this PC only, 0.0.0.0 from the whole network.");
    return 2;
  }
  if (ec) {
    PrintError("trackwire_receiver: cannot listen on " + where + ": " +
               SystemMessage(static_cast<unsigned long>(ec.value())));
    return 2;
  }

  Listener listener(acceptor, state);
  listener.Accept();
  const ConsoleStop console_stop([&io] { io.stop(); });
  const std::string page = PageAddress(address, config.port);
  const std::wstring files = config.folder + L"\\now_playing.txt";
  PrintLine("trackwire_receiver: listening on " + where);
  PrintLine("  page:           " + page);
  PrintLine("  browser source: " + page + "?overlay=1");
  PrintLine("  text source:    " + WideToUtf8(files));
  PrintLine("Ctrl+C ends it.");
  io.run();
  PrintLine("trackwire_receiver: stopped");
  return 0;
}

}  // namespace receiver
