// The HTTP side, on Boost.Beast: the one translation unit that includes it.
#include "receiver/server/server.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <iterator>
#include <list>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "receiver/songs/current_song.h"
#include "receiver/songs/song_files.h"
#include "receiver/system/clock.h"
#include "receiver/system/code_page.h"
#include "receiver/system/computer_names.h"
#include "receiver/system/console.h"
#include "receiver/system/system_message.h"
#include "receiver/text/addresses.h"
#include "receiver/text/clean_text.h"
#include "receiver/text/host_check.h"
#include "receiver/text/page.h"
#include "receiver/text/query.h"
#include "receiver/text/request_head.h"
#include "receiver/text/route.h"
#include "receiver/text/song_text.h"
#include "receiver/text/stall_watch.h"

namespace receiver {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

// Request line and fields, counted the same whether lines end in CR LF or LF.
constexpr std::size_t kHeaderLimit = 16 * 1024;
// The parser sees the head with every LF made CR LF: twice as long at most.
constexpr std::size_t kParserHeaderLimit = 2 * kHeaderLimit + 4;
constexpr std::uint64_t kBodyLimit = 16 * 1024;
constexpr std::size_t kBufferLimit = 64 * 1024;
constexpr std::size_t kReadChunk = 4096;
// A request must be whole this long after its connection began to wait.
constexpr auto kRequestTimeout = std::chrono::seconds(5);
constexpr auto kWriteTimeout = std::chrono::seconds(10);
constexpr auto kDrainTimeout = std::chrono::seconds(1);
// A comment this often keeps proxies from ending an event stream.
constexpr auto kPingInterval = std::chrono::seconds(15);
// Past this many, a new connection makes the longest-idle one go, so that a
// report always finds room however many pages or idle clients are connected.
constexpr std::size_t kMaxConnections = 64;
// Connections in the middle of a request are never closed for a new one;
// they end within kRequestTimeout. Only beyond this is a new one refused.
constexpr std::size_t kHardConnectionLimit = 2 * kMaxConnections;
// An overlay needs one or two; when more follow, the oldest goes.
constexpr std::size_t kMaxFollowers = 32;
// A page this far behind is not reading; it reconnects by itself.
constexpr std::size_t kMaxQueuedEvents = 32;
// Each refused host name is printed once; a flood of names is not.
constexpr std::size_t kMaxPrintedHosts = 64;

constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

// What the listener needs of every open connection to make room for a new
// one.
class Connection {
 public:
  virtual ~Connection() = default;
  virtual void Close() = 0;
  // Since when it has waited on its peer; nothing in the middle of a request.
  virtual std::optional<Clock::time_point> IdleSince() const = 0;
};

class Connections {
  struct Item {
    Connection* connection;
    bool closing;
  };

 public:
  // Keeps a connection on the list for as long as it lives.
  class Entry {
   public:
    Entry(Connections& connections, Connection& connection)
        : open_(connections.open_),
          item_(open_.insert(open_.end(), {&connection, false})) {}
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;
    ~Entry() { open_.erase(item_); }

   private:
    std::list<Item>& open_;
    std::list<Item>::iterator item_;
  };

  // Those already closed to make room do not count.
  std::size_t Open() const {
    return static_cast<std::size_t>(
        std::count_if(open_.begin(), open_.end(),
                      [](const Item& item) { return !item.closing; }));
  }

  bool CloseLongestIdle() {
    Item* longest = nullptr;
    Clock::time_point longest_since;
    for (Item& item : open_) {
      if (item.closing) continue;
      const std::optional<Clock::time_point> since =
          item.connection->IdleSince();
      if (since && (longest == nullptr || *since < longest_since)) {
        longest = &item;
        longest_since = *since;
      }
    }
    if (longest == nullptr) return false;
    longest->closing = true;
    longest->connection->Close();
    return true;
  }

 private:
  std::list<Item> open_;
};

class EventStream;

// What every connection shares, on the server's thread: the song, the files,
// the pages that follow /events, the open connections and the host check.
class Server {
 public:
  Server(const ServerConfig& config, CurrentSong& song, SongFileWriter& files,
         HostCheck hosts, std::function<void(const Song&)> stored)
      : config_(config),
        song_(song),
        files_(files),
        hosts_(std::move(hosts)),
        stored_(std::move(stored)) {}

  const ServerConfig& config() const { return config_; }
  const HostCheck& hosts() const { return hosts_; }
  Connections& connections() { return connections_; }
  std::optional<Song> song() const { return song_.Get(); }

  // Shows the song at once; the files follow on their own thread.
  void Store(Song song);

  void Follow(const std::shared_ptr<EventStream>& stream);

  // Prints the first refusal of each host, so that a plug-in pointed at a
  // name shows why its reports go nowhere.
  void NoteRefusedHost(std::optional<std::string_view> host,
                       const std::string& peer);

 private:
  const ServerConfig& config_;
  CurrentSong& song_;
  SongFileWriter& files_;
  const HostCheck hosts_;
  const std::function<void(const Song&)> stored_;
  Connections connections_;
  std::deque<std::weak_ptr<EventStream>> followers_;
  std::set<std::string> refused_hosts_;
};

// One page following /events: a response without end that carries a
// "data:" line for each new song.
class EventStream : public Connection,
                    public std::enable_shared_from_this<EventStream> {
 public:
  EventStream(tcp::socket socket, Connections& connections)
      : socket_(std::move(socket)),
        entry_(connections, *this),
        timer_(socket_.get_executor()),
        last_song_(Clock::now()) {}

  void Start(unsigned version, const std::optional<Song>& song) {
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
    if (song) queue_.push_back(SongEvent(*song));
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

  void SendSong(std::string event) {
    last_song_ = Clock::now();
    Send(std::move(event));
  }

  bool closed() const { return closed_; }

  void Close() override {
    if (closed_) return;
    closed_ = true;
    beast::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    timer_.cancel();
  }

  // A follower only ever waits; it has been idle since its last song.
  std::optional<Clock::time_point> IdleSince() const override {
    return last_song_;
  }

 private:
  void Send(std::string event) {
    if (closed_) return;
    if (queue_.size() >= kMaxQueuedEvents) return Close();
    queue_.push_back(std::move(event));
    Write();
  }

  void Write() {
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
  void ReadUntilGone() {
    socket_.async_read_some(
        net::buffer(scratch_),
        [self = shared_from_this()](beast::error_code ec, std::size_t) {
          if (ec) return self->Close();
          self->ReadUntilGone();
        });
  }

  // A write may well be under way at a ping; only one that has not moved
  // since the ping before means the reader is stuck.
  void Tick() {
    timer_.expires_after(kPingInterval);
    timer_.async_wait([self = shared_from_this()](beast::error_code ec) {
      if (ec || self->closed_) return;
      if (self->stall_.StuckAtPing(self->writing_)) return self->Close();
      self->Send(": ping\n\n");
      self->Tick();
    });
  }

  tcp::socket socket_;
  Connections::Entry entry_;
  net::steady_timer timer_;
  http::response<http::empty_body> response_;
  std::optional<http::response_serializer<http::empty_body>> serializer_;
  std::deque<std::string> queue_;
  std::array<char, 256> scratch_;
  StallWatch stall_;
  Clock::time_point last_song_;
  bool writing_ = false;
  bool closed_ = false;
};

void Server::Store(Song song) {
  song_.Set(song);
  if (stored_) stored_(song);
  files_.Write(TextLine(config_.format, song), SongFileJson(&song), song);
  PrintLine(LocalClockText() + "  " + TextLine(std::nullopt, song));
  const std::string event = SongEvent(song);
  std::deque<std::weak_ptr<EventStream>> alive;
  for (const auto& follower : followers_) {
    if (const auto stream = follower.lock(); stream && !stream->closed()) {
      stream->SendSong(event);
      alive.push_back(stream);
    }
  }
  followers_ = std::move(alive);
}

void Server::Follow(const std::shared_ptr<EventStream>& stream) {
  followers_.erase(std::remove_if(followers_.begin(), followers_.end(),
                                  [](const auto& follower) {
                                    const auto alive = follower.lock();
                                    return !alive || alive->closed();
                                  }),
                   followers_.end());
  while (followers_.size() >= kMaxFollowers) {
    if (const auto oldest = followers_.front().lock()) oldest->Close();
    followers_.pop_front();
  }
  followers_.push_back(stream);
}

void Server::NoteRefusedHost(std::optional<std::string_view> host,
                             const std::string& peer) {
  const std::string name = host ? HostName(*host) : std::string();
  // No printable host holds a line end, so "\n" stands for none.
  const std::string key = !host          ? "\n"
                          : name.empty() ? PrintableHost(*host)
                                         : name;
  if (refused_hosts_.size() >= kMaxPrintedHosts ||
      !refused_hosts_.insert(key).second) {
    return;
  }
  if (!host) {
    PrintError("trackwire_receiver: refused a request without Host from " +
               peer + ": only this PC may leave it out");
    return;
  }
  PrintError("trackwire_receiver: refused requests for the host name \"" +
             PrintableHost(*host) +
             "\": not an IP address, localhost or this PC's name. If the "
             "plug-in reports to this PC by that name, start the receiver "
             "with --allow-host " +
             (name.empty() ? std::string("NAME") : name));
}

// One connection: requests in turn, answered one by one. Lines may end in
// CR LF or a bare LF; the head is read here, the body by the parser.
class Session : public Connection,
                public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, Server& server)
      : stream_(std::move(socket)),
        server_(server),
        entry_(server.connections(), *this),
        buffer_(kBufferLimit) {}

  void Start() {
    beast::error_code ec;
    const tcp::endpoint peer = stream_.socket().remote_endpoint(ec);
    if (!ec) {
      const net::ip::address address = peer.address();
      peer_ = address.to_string();
      loopback_ = address.is_loopback() ||
                  (address.is_v6() && address.to_v6().is_v4_mapped() &&
                   net::ip::make_address_v4(net::ip::v4_mapped, address.to_v6())
                       .is_loopback());
    }
    stream_.expires_after(kRequestTimeout);
    AwaitRequest();
  }

  void Close() override {
    beast::error_code ignored;
    stream_.socket().close(ignored);
  }

  std::optional<Clock::time_point> IdleSince() const override {
    return idle_since_;
  }

 private:
  void AwaitRequest() {
    scan_ = HeadScan();
    if (buffer_.size() > 0) return ReadHead();
    idle_since_ = Clock::now();
    ReadMore();
  }

  void ReadMore() {
    const std::size_t room =
        std::min(kReadChunk, buffer_.max_size() - buffer_.size());
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

  void ReadHead() {
    const auto data = buffer_.cdata();
    const std::string_view received(static_cast<const char*>(data.data()),
                                    data.size());
    scan_ = ScanHead(received, kHeaderLimit, scan_);
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
    parser_->header_limit(kParserHeaderLimit);
    parser_->body_limit(kBodyLimit);
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

  void ReadBody() {
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

  static bool IsHttpError(const beast::error_code& ec) {
    return ec.category() ==
           http::make_error_code(http::error::bad_method).category();
  }

  void OnRequest() {
    Request request = parser_->release();
    const unsigned version = request.version();
    const bool keep_alive = request.keep_alive();
    const OriginTarget origin = ToOriginForm(request.target());
    // An absolute-form target names the host; the Host field then does not.
    std::optional<std::string_view> host;
    if (origin.absolute) {
      host = origin.authority;
    } else {
      const auto fields = request.equal_range(http::field::host);
      if (fields.first != fields.second) host = fields.first->value();
      if (std::distance(fields.first, fields.second) > 1) {
        return Send(Text(http::status::bad_request, version,
                         "more than one Host field\n"),
                    true);
      }
    }
    if (!server_.hosts().Allows(host, loopback_)) {
      server_.NoteRefusedHost(host, peer_);
      const std::string reason =
          host ? "this receiver answers only to an IP address, localhost, "
                 "this PC's name or a name given with --allow-host\n"
               : "a request without Host is answered only from this PC\n";
      return Send(Text(http::status::forbidden, version, reason), !keep_alive);
    }
    if (request.method() == http::verb::options && origin.target == "*") {
      Response response{http::status::no_content, version};
      response.set(http::field::allow, "GET, HEAD, OPTIONS");
      return Send(std::move(response), !keep_alive);
    }
    const Target target = SplitTarget(origin.target);
    const Route route = RouteFor(target.path);
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
      case Route::kPage: {
        const std::optional<Song> song = server_.song();
        response = Text(http::status::ok, version,
                        PageHtml(song ? &*song : nullptr,
                                 HasQueryName(target.query, "overlay")),
                        "text/html; charset=utf-8");
        break;
      }
      case Route::kSongJson: {
        const std::optional<Song> song = server_.song();
        response = Text(http::status::ok, version,
                        SongFileJson(song ? &*song : nullptr),
                        "application/json; charset=utf-8");
        break;
      }
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
    const unsigned code_page = server_.config().code_page;
    Song song;
    song.artist = CleanText(CodePageToUtf8(bytes->artist, code_page));
    song.album = CleanText(CodePageToUtf8(bytes->album, code_page));
    song.title = CleanText(CodePageToUtf8(bytes->title, code_page));
    song.received = IsoUtc(UnixSecondsNow());
    server_.Store(std::move(song));
    Response response{http::status::no_content, version};
    response.set(http::field::cache_control, "no-store");
    return response;
  }

  void FollowEvents(unsigned version) {
    stream_.expires_never();
    auto events = std::make_shared<EventStream>(stream_.release_socket(),
                                                server_.connections());
    server_.Follow(events);
    events->Start(version, server_.song());
  }

  void Refuse(http::status status) {
    Send(Text(status, 11, std::string(http::obsolete_reason(status)) + "\n"),
         true);
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
          self->stream_.expires_after(kRequestTimeout);
          self->AwaitRequest();
        });
  }

  // Ends the connection gently: what the client still sends is read and
  // dropped for a moment, so that closing does not reset the answer away.
  void Finish() {
    idle_since_ = Clock::now();
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
  Server& server_;
  Connections::Entry entry_;
  beast::flat_buffer buffer_;
  HeadScan scan_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::unique_ptr<Response> response_;
  std::optional<Clock::time_point> idle_since_;
  std::string peer_ = "?";
  bool loopback_ = false;
  std::array<char, 4096> scratch_;
};

class Listener {
 public:
  Listener(tcp::acceptor& acceptor, Server& server)
      : acceptor_(acceptor), server_(server), pause_(acceptor.get_executor()) {}

  // After a failed wait for completions, the accept under way may never
  // complete: it is cancelled and started again.
  void AcceptAgain() {
    beast::error_code ignored;
    acceptor_.cancel(ignored);
    Accept();
  }

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
      Connections& connections = server_.connections();
      if (connections.Open() < kMaxConnections ||
          connections.CloseLongestIdle() ||
          connections.Open() < kHardConnectionLimit) {
        std::make_shared<Session>(std::move(socket), server_)->Start();
      }
      Accept();
    });
  }

 private:
  tcp::acceptor& acceptor_;
  Server& server_;
  net::steady_timer pause_;
};

// Runs the server until it is stopped. Under a 32-bit emulation layer the
// wait for completions has been seen to fail now and then ("No access to
// memory location") while everything else was sound; the server goes on
// after such a failure, and gives up only when they come in a burst.
void RunUntilStopped(net::io_context& io, Listener& listener) {
  constexpr int kFailuresInABurst = 10;
  constexpr auto kBurst = std::chrono::seconds(10);
  std::deque<Clock::time_point> failures;
  for (;;) {
    try {
      io.run();
      return;
    } catch (const boost::system::system_error& failure) {
      const Clock::time_point now = Clock::now();
      while (!failures.empty() && now - failures.front() > kBurst) {
        failures.pop_front();
      }
      failures.push_back(now);
      if (failures.size() >= kFailuresInABurst) throw;
      PrintError(std::string("trackwire_receiver: waiting for the network "
                             "failed, going on: ") +
                 failure.what());
      listener.AcceptAgain();
    }
  }
}

}  // namespace

void ServerStop::Stop() {
  AcquireSRWLockExclusive(&lock_);
  requested_ = true;
  if (stop_) stop_();
  ReleaseSRWLockExclusive(&lock_);
}

void ServerStop::Arm(std::function<void()> stop) {
  AcquireSRWLockExclusive(&lock_);
  stop_ = std::move(stop);
  if (requested_) stop_();
  ReleaseSRWLockExclusive(&lock_);
}

void ServerStop::Disarm() {
  AcquireSRWLockExclusive(&lock_);
  stop_ = nullptr;
  ReleaseSRWLockExclusive(&lock_);
}

int RunServer(const ServerConfig& config, const ServerHooks& hooks) {
  CurrentSong song;
  std::string problem;
  if (std::optional<Song> last = ReadBackSong(config.folder, problem)) {
    if (hooks.song) hooks.song(*last);
    song.Set(std::move(*last));
  }
  if (!problem.empty()) PrintError("trackwire_receiver: " + problem);
  SongFileWriter files(config.folder);
  std::vector<std::string> names = ComputerNames();
  names.insert(names.end(), config.allow_hosts.begin(),
               config.allow_hosts.end());
  // Outlives the io_context: connections still queued there refer to it.
  Server server(config, song, files, HostCheck(names), hooks.song);
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

  Listener listener(acceptor, server);
  listener.Accept();
  const ConsoleStop console_stop([&io] { io.stop(); });
  const std::string page = PageAddress(config.listen, config.port);
  const std::wstring text_file = config.folder + L"\\now_playing.txt";
  PrintLine("trackwire_receiver: listening on " + where);
  PrintLine("  page:           " + page);
  PrintLine("  browser source: " + page + "?overlay=1");
  PrintLine("  text source:    " + WideToUtf8(text_file));
  PrintLine("Ctrl+C ends it.");
  if (hooks.stop != nullptr) hooks.stop->Arm([&io] { io.stop(); });
  if (hooks.listening) hooks.listening();
  RunUntilStopped(io, listener);
  if (hooks.stop != nullptr) hooks.stop->Disarm();
  files.Finish();
  PrintLine("trackwire_receiver: stopped");
  return 0;
}

}  // namespace receiver
