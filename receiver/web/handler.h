#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include "receiver/songs/song_text.h"
#include "receiver/web/host_check.h"
#include "receiver/web/refused_hosts.h"

// What the receiver answers, request in and response out, with no socket:
// the host check, the routes, the browser checks, the key, the report, HEAD
// and OPTIONS. The server's sessions only read, hand over and write.
namespace receiver {

namespace http = boost::beast::http;
using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

// The current song's cover as GET /cover.jpg serves it.
struct CoverImage {
  std::shared_ptr<const std::string> bytes;
  std::string type;  // e.g. image/png
};

// A call of the control page: POST or GET /control/api/NAME with a JSON body.
struct ControlCall {
  std::string name;
  bool post = false;
  std::string body;
};

// The answer to a ControlCall: an HTTP status and a JSON body.
using ControlReply = std::function<void(int status, std::string json)>;

struct Peer {
  std::string address = "?";
  bool loopback = false;  // this PC, over IPv4, IPv6 or IPv4-mapped IPv6
};

// Where the song lives: the server's store, or a test's.
class SongStore {
 public:
  virtual ~SongStore() = default;
  virtual std::optional<Song> Current() const = 0;
  // Shows the song at once; what takes time (the files) follows.
  virtual void Store(Song song) = 0;
  // A report from the player at `from`: stored.
  virtual void Report(Song song, const Peer& from) {
    (void)from;
    Store(std::move(song));
  }
  // After some minutes without a new song, or when the user cleared it.
  virtual bool Idle() const { return false; }
  // The chat's line for GET /song.
  virtual std::string ChatLine() const { return {}; }
  // The latest songs for GET /history.json.
  virtual std::string HistoryJson() const { return "[]\n"; }
  // The current cover for GET /cover.jpg; none answers 404.
  virtual std::optional<CoverImage> Cover() const { return std::nullopt; }
  // The song folder's overlay.css for GET /overlay.css; none answers 404.
  virtual std::optional<std::string> UserStyle() const { return std::nullopt; }
  // The current song's lyrics for GET /lyrics.json.
  virtual std::string LyricsJson() const {
    return "{\"kind\": \"none\", \"elapsed\": 0.000}\n";
  }
  // A call of the control page, from this PC's user (the key checked):
  // `reply` once, at once or later (work that waits for a file goes to
  // another thread and comes back), on the server's thread.
  virtual void Control(const ControlCall& call, const ControlReply& reply) {
    (void)call;
    reply(404, "{\"error\":\"no such call\"}\n");
  }
};

struct HandlerSettings {
  HostCheck hosts{{}};
  std::optional<std::string> key;  // what a report's key= must be
  // What the control page's calls carry in kControlKeyField, made at each
  // start; empty: no control page.
  std::string control_key;
  // A report's bytes, in the sender's code page, as UTF-8.
  std::function<std::string(std::string_view)> to_utf8;
  // The time a report came, as IsoUtc gives it.
  std::function<std::string()> now;
};

// Where an answer that comes later goes; called once, on the server's thread.
using LaterAnswer = std::function<void(Response)>;

struct Answer {
  Response response;
  bool close = false;          // the connection ends after the answer
  bool follow_events = false;  // no answer: the connection follows /events
  std::optional<RefusedHost> refused_host;
  // When set, there is no answer yet: the session calls it with where the
  // answer goes, and writes it when it comes.
  std::function<void(LaterAnswer)> later;
};

Answer HandleRequest(const Request& request, const Peer& peer,
                     const HandlerSettings& settings, SongStore& songs);

// A plain answer, never cached or sniffed.
Response TextResponse(http::status status, unsigned version, std::string body,
                      std::string_view type = "text/plain; charset=utf-8");

// Whether a report came from a web page rather than from the player: the
// browser marks its requests (Origin, Referer, fetch metadata) or names
// itself in its User-Agent, which a page cannot change. An address typed
// into the address bar (Sec-Fetch-Site: none) is let through.
bool LooksLikeWebPage(const Request& request);

// Compares without a shortcut at the first difference, so that the time an
// answer takes tells nothing of the key.
bool SameKey(std::string_view given, std::string_view key);

}  // namespace receiver
