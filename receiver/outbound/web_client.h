#pragma once

#include <chrono>
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
  std::string body;  // at most kMaxBody bytes, else a failure
};

// HTTP and HTTPS requests through WinHTTP in its asynchronous mode, so that
// one slow server holds up no other request. Certificates are always
// verified; redirects are followed, never from https to http; the user's
// proxy settings apply.
class WebClient {
 public:
  static constexpr std::size_t kMaxBody = 8 * 1024 * 1024;

  // `deadline`: a request still open this long after Start ends with the
  // failure "no answer within N s".
  explicit WebClient(std::string user_agent,
                     std::chrono::seconds deadline = std::chrono::seconds(15));
  WebClient(const WebClient&) = delete;
  WebClient& operator=(const WebClient&) = delete;
  ~WebClient();  // CancelAll

  bool started() const;
  std::string problem() const;  // why WinHTTP did not start

  // Returns at once. `done` is called exactly once per request, on a WinHTTP
  // thread or the deadline thread, and must not block (post the reply to the
  // caller's own thread). A request that cannot even be sent (a bad address,
  // no WinHTTP) gets its `done` call before Start returns.
  void Start(WebRequest request, std::function<void(WebReply)> done);

  // Ends every request still open with the failure "cancelled" and returns
  // when all their `done` calls are made and WinHTTP let go of them, 2 s at
  // most: for exit.
  void CancelAll();

  struct Shared;  // the session and the open requests, shared with WinHTTP

 private:
  std::shared_ptr<Shared> shared_;
  std::unique_ptr<Thread> deadline_thread_;
};

}  // namespace receiver
