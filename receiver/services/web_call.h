#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "receiver/services/internet_handle.h"
#include "receiver/services/web_client.h"

// One request of a WebClient on its way through WinHTTP's asynchronous
// calls; private to web_client.cpp and web_call.cpp.
namespace receiver {

class WebCall;

// Lives as long as the client, its deadline thread or an open request.
struct WebClient::Shared {
  InternetHandle session;
  std::string problem;
  long long deadline_seconds = 15;

  SRWLOCK lock = SRWLOCK_INIT;  // guards what follows
  CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
  // From Start until WinHTTP's last word on the request handle
  // (WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING).
  std::map<WebCall*, std::shared_ptr<WebCall>> open;
  std::size_t unanswered = 0;  // open requests whose `done` is not yet called
  std::uint64_t last_number = 0;
  bool stopping = false;

  void Answered();
  // The request handle of `call` is closed for good: lets go of it.
  void Forget(WebCall* call);
};

// A lock that its holder may take again: WinHTTP may call the status
// callback from within a call made under it.
class RecursiveLock {
 public:
  RecursiveLock() { InitializeCriticalSection(&section_); }
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;
  ~RecursiveLock() { DeleteCriticalSection(&section_); }

  class Hold {
   public:
    explicit Hold(RecursiveLock& lock) : lock_(lock) {
      EnterCriticalSection(&lock_.section_);
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    ~Hold() { LeaveCriticalSection(&lock_.section_); }

   private:
    RecursiveLock& lock_;
  };

 private:
  CRITICAL_SECTION section_;
};

class WebCall : public std::enable_shared_from_this<WebCall> {
 public:
  WebCall(std::shared_ptr<WebClient::Shared> shared, std::uint64_t number,
          std::function<void(WebReply)> done, std::string host,
          std::string body, bool follow_redirects, InternetHandle connection,
          InternetHandle request);
  WebCall(const WebCall&) = delete;
  WebCall& operator=(const WebCall&) = delete;

  // Sends the request with `headers` ("Name: value\r\n" lines); a failure
  // ends it at once.
  void Send(const std::wstring& headers, DWORD timeout_ms);

  // WinHTTP's news of the request handle, all but HANDLE_CLOSING.
  void OnStatus(DWORD status, void* info, DWORD length);

  // Ends the request with `reason` unless it has ended; closes its handle.
  void Cancel(const std::string& reason);

  const std::shared_ptr<WebClient::Shared>& shared() const { return shared_; }
  std::uint64_t number() const { return number_; }

  // Milliseconds since boot when the deadline thread cancels it; guarded by
  // Shared::lock.
  ULONGLONG deadline = 0;

 private:
  void ReadHeaders();
  // Reads the body a buffer at a time, in a loop: a read that completes
  // within WinHttpReadData comes back to this loop, not a level deeper.
  void ReadBody();
  // A read of `length` bytes completed; false once the request has ended.
  bool Took(DWORD length);
  void Fail(DWORD error);
  // Calls `done` once and closes the request handle.
  void End(WebReply reply);

  const std::shared_ptr<WebClient::Shared> shared_;
  const std::uint64_t number_;
  RecursiveLock lock_;  // guards what follows
  std::function<void(WebReply)> done_;
  std::string host_;  // for the messages
  // Both WinHTTP's until HANDLE_CLOSING: the body sent and the buffer read.
  std::string body_;
  std::string received_;
  std::size_t read_at_ = 0;
  bool reading_ = false;  // within WinHttpReadData on the lock's thread
  std::optional<DWORD> read_at_once_;  // what completed within it
  const bool follow_redirects_;
  WebReply reply_;
  bool connected_ = false;
  DWORD secure_flags_ = 0;
  bool closing_ = false;  // `done` called, the handle closed
  InternetHandle connection_;
  InternetHandle request_;
};

}  // namespace receiver
