#include "receiver/web/handler.h"

#include <iterator>
#include <utility>

#include <boost/beast/core/string.hpp>

#include "receiver/songs/clean_text.h"
#include "receiver/web/control_api.h"
#include "receiver/web/lyrics_page.h"
#include "receiver/web/page.h"
#include "receiver/web/query.h"
#include "receiver/web/request_head.h"
#include "receiver/web/route.h"

namespace receiver {

namespace {

namespace beast = boost::beast;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         beast::iequals(text.substr(0, prefix.size()), prefix);
}

Response MethodNotAllowed(unsigned version, std::string_view allow) {
  Response response = TextResponse(http::status::method_not_allowed, version,
                                   std::string(allow) + " only\n");
  response.set(http::field::allow, allow);
  return response;
}

// The report is stored before any answer: the plug-in may be gone already.
Response Report(const Request& request, std::string_view query,
                const Peer& peer, const HandlerSettings& settings,
                SongStore& songs) {
  const unsigned version = request.version();
  if (request.method() != http::verb::get) {
    // A HEAD asks what a GET would answer; it must not store a song.
    return MethodNotAllowed(version, "GET");
  }
  if (LooksLikeWebPage(request)) {
    return TextResponse(http::status::forbidden, version,
                        "reports come from the player, not from web pages\n");
  }
  if (settings.key) {
    const std::optional<std::string> given = QueryValue(query, "key");
    if (!given || !SameKey(*given, *settings.key)) {
      return TextResponse(http::status::forbidden, version,
                          "this receiver takes reports with its key only\n");
    }
  }
  const std::optional<ReportBytes> bytes = ParseReportQuery(query);
  if (!bytes) {
    return TextResponse(http::status::bad_request, version,
                        "expected artist, album and title in the query\n");
  }
  // CleanText makes broken UTF-8 into U+FFFD.
  const bool utf8 = SaysUtf8(query);
  const auto text = [&](const std::string& value) {
    return CleanText(utf8 ? value : settings.to_utf8(value));
  };
  Song song;
  song.artist = text(bytes->artist);
  song.album = text(bytes->album);
  song.title = text(bytes->title);
  song.received = settings.now();
  songs.Report(std::move(song), peer);
  Response response{http::status::no_content, version};
  response.set(http::field::cache_control, "no-store");
  return response;
}

// The bytes as they are, with their type: a new song's cover has a new
// address (/cover.jpg?KEY), and the same address is asked again each time.
Response CoverResponse(const std::optional<CoverImage>& cover,
                       unsigned version) {
  if (!cover || !cover->bytes || cover->type.empty()) {
    return TextResponse(http::status::not_found, version, "no cover\n");
  }
  Response response =
      TextResponse(http::status::ok, version, *cover->bytes, cover->type);
  response.set(http::field::cache_control, "no-cache");
  return response;
}

}  // namespace

Response TextResponse(http::status status, unsigned version, std::string body,
                      std::string_view type) {
  Response response{status, version};
  response.set(http::field::content_type, type);
  response.set(http::field::cache_control, "no-store");
  response.set("X-Content-Type-Options", "nosniff");
  response.body() = std::move(body);
  response.prepare_payload();
  return response;
}

bool LooksLikeWebPage(const Request& request) {
  if (request.find(http::field::origin) != request.end() ||
      request.find(http::field::referer) != request.end()) {
    return true;
  }
  const auto site = request.find("Sec-Fetch-Site");
  const bool typed =
      site != request.end() && beast::iequals(site->value(), "none");
  if (site != request.end() && !typed) return true;
  return !typed &&
         StartsWithNoCase(request[http::field::user_agent], "Mozilla/");
}

bool SameKey(std::string_view given, std::string_view key) {
  unsigned difference = given.size() == key.size() ? 0 : 1;
  for (std::size_t i = 0; i < key.size(); ++i) {
    const unsigned char g =
        i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
    difference |= g ^ static_cast<unsigned char>(key[i]);
  }
  return difference == 0;
}

namespace {

Answer Handle(const Request& request, const Peer& peer,
              const HandlerSettings& settings, SongStore& songs) {
  const unsigned version = request.version();
  Answer answer;
  answer.close = !request.keep_alive();
  const OriginTarget origin = ToOriginForm(request.target());
  // An absolute-form target names the host; the Host field then does not.
  std::optional<std::string_view> host;
  if (origin.absolute) {
    host = origin.authority;
  } else {
    const auto fields = request.equal_range(http::field::host);
    if (std::distance(fields.first, fields.second) > 1) {
      answer.response = TextResponse(http::status::bad_request, version,
                                     "more than one Host field\n");
      answer.close = true;
      return answer;
    }
    if (fields.first != fields.second) {
      host = fields.first->value();
    } else if (version >= 11) {
      answer.response =
          TextResponse(http::status::bad_request, version,
                       "an HTTP/1.1 request needs a Host field\n");
      answer.close = true;
      return answer;
    }
  }
  if (!settings.hosts.Allows(host, peer.loopback)) {
    RefusedHost refused;
    if (host) refused.host = std::string(*host);
    refused.peer = peer.address;
    answer.refused_host = std::move(refused);
    answer.response = TextResponse(
        http::status::forbidden, version,
        host ? "this receiver answers only to an IP address, localhost, "
               "this PC's name or a name given with --allow-host\n"
             : "a request without Host is answered only from this PC\n");
    return answer;
  }
  if (request.method() == http::verb::options && origin.target == "*") {
    answer.response = Response{http::status::no_content, version};
    answer.response.set(http::field::allow, "GET, HEAD, OPTIONS");
    return answer;
  }
  const Target target = SplitTarget(origin.target);
  const Route route = RouteFor(target.path);
  if (route == Route::kNotFound) {
    answer.response =
        TextResponse(http::status::not_found, version, "not found\n");
    return answer;
  }
  if (route == Route::kReport) {
    answer.response = Report(request, target.query, peer, settings, songs);
    return answer;
  }
  if (route == Route::kControlApi) {
    return ControlApi(request, target.path.substr(kControlApiPrefix.size()),
                      peer, settings, songs);
  }
  if (!IsAllowedMethod(request.method_string())) {
    answer.response = MethodNotAllowed(version, "GET, HEAD");
    return answer;
  }
  const std::optional<Song> song = songs.Current();
  const Song* shown = song ? &*song : nullptr;
  const bool idle = songs.Idle();
  switch (route) {
    case Route::kControl:
      return ControlPage(request, peer);
    case Route::kPage:
      answer.response = TextResponse(http::status::ok, version,
                                     PageForQuery(shown, target.query, idle),
                                     "text/html; charset=utf-8");
      break;
    case Route::kSongJson:
      answer.response =
          TextResponse(http::status::ok, version, SongFileJson(shown, idle),
                       "application/json; charset=utf-8");
      break;
    case Route::kChat:
      answer.response =
          TextResponse(http::status::ok, version, songs.ChatLine());
      break;
    case Route::kHistory:
      answer.response =
          TextResponse(http::status::ok, version, songs.HistoryJson(),
                       "application/json; charset=utf-8");
      break;
    case Route::kCover:
      answer.response = CoverResponse(songs.Cover(), version);
      break;
    case Route::kUserStyle:
      if (const std::optional<std::string> style = songs.UserStyle()) {
        answer.response = TextResponse(http::status::ok, version, *style,
                                       "text/css; charset=utf-8");
      } else {
        answer.response = TextResponse(http::status::not_found, version,
                                       "no overlay.css in the song folder\n");
      }
      break;
    case Route::kLyrics:
      answer.response = TextResponse(http::status::ok, version,
                                     LyricsPageForQuery(target.query),
                                     "text/html; charset=utf-8");
      break;
    case Route::kLyricsJson:
      answer.response =
          TextResponse(http::status::ok, version, songs.LyricsJson(),
                       "application/json; charset=utf-8");
      break;
    case Route::kEvents:
      if (request.method() != http::verb::head) {
        answer.follow_events = true;
        return answer;
      }
      answer.response = TextResponse(http::status::ok, version, "",
                                     "text/event-stream; charset=utf-8");
      break;
    case Route::kReport:
    case Route::kControlApi:
    case Route::kNotFound:
      break;
  }
  return answer;
}

}  // namespace

Answer HandleRequest(const Request& request, const Peer& peer,
                     const HandlerSettings& settings, SongStore& songs) {
  Answer answer = Handle(request, peer, settings, songs);
  // The same fields as a GET, Content-Length too, never a body: bytes after
  // the head would be read as the next answer.
  if (request.method() == http::verb::head) answer.response.body().clear();
  return answer;
}

}  // namespace receiver
