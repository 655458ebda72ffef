#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "receiver/system/thread.h"

namespace receiver {

struct WebRequest {
  std::string method = "GET";
  std::string url;  // http:// or https://, UTF-8
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // Else a 3xx is the answer, its Location in WebReply::redirect: WinHTTP
  // sends a request's headers again wherever a redirect points.
  bool follow_redirects = false;
};

struct WebReply {
  bool answered = false;  // an HTTP answer came, whatever its status
  int status = 0;
  // X-RateLimit-Reset-In, else Retry-After, in seconds.
  std::optional<long long> wait_seconds;
  // !answered: what went wrong, in words ("connection refused", "no answer
  // within 15 s", "the certificate is not trusted (host)", ...).
  std::string failure;
  bool certificate = false;  // the failure was the server's certificate
  std::string content_type;
  std::string body;        // at most kMaxBody bytes
  bool too_large = false;  // a longer body: none is kept
  // A 3xx of a request that follows no redirect: its Location, if any.
  std::optional<std::string> redirect;
};

// HTTP and HTTPS requests through WinHTTP in its asynchronous mode, so that
// one slow server holds up no other request. Certificates are always
// verified; redirects are followed where a request asks for it, never from
// https to http; the user's proxy settings apply.
class WebClient {
 public:
  static constexpr std::size_t kMaxBody = 8 * 1024 * 1024;

  // `deadline`: a request still open this long after Start ends with the
  // failure "no answer within N s".
  explicit WebClient(std::string user_agent,
                     std::chrono::seconds deadline = std::chrono::seconds(15));
  WebClient(const WebClient&) = delete;
  WebClient& operator=(const WebClient&) = delete;
  ~WebClient();  // CancelAll without a wait

  bool started() const;
  std::string problem() const;  // why WinHTTP did not start

  // Returns at once, with the request's number for Cancel. `done` is called
  // exactly once per request, on a WinHTTP thread or the deadline thread,
  // and must not block (post the reply to the caller's own thread). A
  // request that cannot even be sent (a bad address, no WinHTTP) gets its
  // `done` call before Start returns, and the number 0.
  std::uint64_t Start(WebRequest request, std::function<void(WebReply)> done);

  // Ends the request with the failure "cancelled" unless it has ended, and
  // closes its handle, which gives up its connection.
  void Cancel(std::uint64_t request);

  // Ends every request still open with the failure "cancelled" and returns
  // when all their `done` calls are made and WinHTTP let go of them, `wait`
  // at most: for exit.
  void CancelAll(std::chrono::milliseconds wait);

  struct Shared;  // the session and the open requests, shared with WinHTTP

 private:
  std::shared_ptr<Shared> shared_;
  std::unique_ptr<Thread> deadline_thread_;
};

}  // namespace receiver
