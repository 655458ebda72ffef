#include "receiver/services/web_call.h"

#include <algorithm>
#include <cwchar>
#include <optional>
#include <utility>

#include "receiver/services/web_failure.h"
#include "receiver/system/code_page.h"
#include "receiver/system/lock.h"

namespace receiver {

namespace {

// What one read asks for.
constexpr std::size_t kReadBytes = 64 * 1024;

std::optional<std::wstring> Header(HINTERNET request, DWORD query,
                                   const wchar_t* name) {
  DWORD size = 0;
  if (WinHttpQueryHeaders(request, query, name, WINHTTP_NO_OUTPUT_BUFFER, &size,
                          WINHTTP_NO_HEADER_INDEX) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return std::nullopt;
  }
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (!WinHttpQueryHeaders(request, query, name, text.data(), &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  text.resize(size / sizeof(wchar_t));
  return text;
}

// Whole seconds ("30", "2.5" rounded up), or nullopt.
std::optional<long long> Seconds(std::wstring_view text) {
  while (!text.empty() && text.front() == L' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == L' ') text.remove_suffix(1);
  long long seconds = 0;
  std::size_t at = 0;
  for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
    if (seconds > 1000000000) return std::nullopt;
    seconds = seconds * 10 + (text[at] - L'0');
  }
  if (at == 0) return std::nullopt;
  if (at < text.size()) {
    if (text[at] != L'.') return std::nullopt;
    bool fraction = false;
    for (++at; at < text.size(); ++at) {
      if (text[at] < L'0' || text[at] > L'9') return std::nullopt;
      fraction = fraction || text[at] != L'0';
    }
    if (fraction) ++seconds;
  }
  return seconds;
}

// Retry-After as an HTTP date: the seconds from now until then, at least 0.
std::optional<long long> SecondsUntil(const std::wstring& date) {
  SYSTEMTIME when;
  FILETIME then;
  if (!WinHttpTimeToSystemTime(date.c_str(), &when) ||
      !SystemTimeToFileTime(&when, &then)) {
    return std::nullopt;
  }
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const auto ticks = [](const FILETIME& time) {
    return static_cast<long long>(
        (static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
        time.dwLowDateTime);
  };
  const long long difference = ticks(then) - ticks(now);
  return difference > 0 ? (difference + 9999999) / 10000000 : 0;
}

std::string HostOf(const wchar_t* url, DWORD length) {
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  if (url == nullptr ||
      !WinHttpCrackUrl(url, static_cast<DWORD>(wcsnlen(url, length)), 0,
                       &parts) ||
      parts.lpszHostName == nullptr) {
    return {};
  }
  return WideToUtf8({parts.lpszHostName, parts.dwHostNameLength});
}

}  // namespace

void WebClient::Shared::Answered() {
  const LockHold hold(lock);
  --unanswered;
  WakeAllConditionVariable(&changed);
}

void WebClient::Shared::Forget(WebCall* call) {
  std::shared_ptr<WebCall> kept;
  {
    const LockHold hold(lock);
    const auto found = open.find(call);
    if (found == open.end()) return;
    kept = std::move(found->second);
    open.erase(found);
    WakeAllConditionVariable(&changed);
  }
  kept->Cancel("cancelled");  // only if WinHTTP closed it on its own
}

WebCall::WebCall(std::shared_ptr<WebClient::Shared> shared,
                 std::uint64_t number, std::function<void(WebReply)> done,
                 std::string host, std::string body, bool follow_redirects,
                 InternetHandle connection, InternetHandle request)
    : shared_(std::move(shared)),
      number_(number),
      done_(std::move(done)),
      host_(std::move(host)),
      body_(std::move(body)),
      follow_redirects_(follow_redirects),
      connection_(std::move(connection)),
      request_(std::move(request)) {}

void WebCall::Send(const std::wstring& headers, DWORD timeout_ms) {
  const RecursiveLock::Hold hold(lock_);
  if (closing_) return;
  auto context = reinterpret_cast<DWORD_PTR>(this);
  // Only now may WinHTTP tell of the request: Shared::open holds it.
  if (!WinHttpSetOption(request_.get(), WINHTTP_OPTION_CONTEXT_VALUE, &context,
                        sizeof(context))) {
    Fail(GetLastError());
    shared_->Forget(this);  // no HANDLE_CLOSING will say so
    return;
  }
  constexpr int kConnectMs = 5000;
  const int whole_ms = static_cast<int>(timeout_ms);
  if (!WinHttpSetTimeouts(request_.get(), kConnectMs, kConnectMs, whole_ms,
                          whole_ms) ||
      (!headers.empty() &&
       !WinHttpAddRequestHeaders(
           request_.get(), headers.c_str(), static_cast<DWORD>(-1),
           WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))) {
    Fail(GetLastError());
    return;
  }
  if (!follow_redirects_) {
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(request_.get(), WINHTTP_OPTION_REDIRECT_POLICY, &never,
                     sizeof never);
    DWORD disable = WINHTTP_DISABLE_REDIRECTS;
    if (!WinHttpSetOption(request_.get(), WINHTTP_OPTION_DISABLE_FEATURE,
                          &disable, sizeof disable)) {
      Fail(GetLastError());
      return;
    }
  }
  // The wait for the answer's head has a time-out of its own (90 s unless
  // set); a server that never answers then lets go of the connection too.
  DWORD response_ms = static_cast<DWORD>(timeout_ms);
  WinHttpSetOption(request_.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT,
                   &response_ms, sizeof response_ms);
  const auto size = static_cast<DWORD>(body_.size());
  if (!WinHttpSendRequest(
          request_.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
          body_.empty() ? WINHTTP_NO_REQUEST_DATA : body_.data(), size, size,
          context)) {
    Fail(GetLastError());
  }
}

void WebCall::OnStatus(DWORD status, void* info, DWORD length) {
  const RecursiveLock::Hold hold(lock_);
  if (closing_) return;
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_CONNECTED_TO_SERVER:
      connected_ = true;
      break;
    case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE:
      if (info != nullptr) secure_flags_ |= *static_cast<DWORD*>(info);
      break;
    case WINHTTP_CALLBACK_STATUS_REDIRECT:
      host_ = HostOf(static_cast<const wchar_t*>(info), length);
      break;
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
      if (!WinHttpReceiveResponse(request_.get(), nullptr)) {
        Fail(GetLastError());
      }
      break;
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      ReadHeaders();
      ReadBody();
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      if (reading_) {
        read_at_once_ = length;
      } else if (Took(length)) {
        ReadBody();
      }
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      Fail(static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError);
      break;
    default:
      break;
  }
}

void WebCall::Cancel(const std::string& reason) {
  const RecursiveLock::Hold hold(lock_);
  WebReply reply;
  reply.failure = reason;
  End(std::move(reply));
}

void WebCall::ReadHeaders() {
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (WinHttpQueryHeaders(request_.get(),
                          WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                          WINHTTP_NO_HEADER_INDEX)) {
    reply_.status = static_cast<int>(status);
  }
  if (auto type = Header(request_.get(), WINHTTP_QUERY_CONTENT_TYPE,
                         WINHTTP_HEADER_NAME_BY_INDEX)) {
    reply_.content_type = WideToUtf8(*type);
  }
  if (auto reset = Header(request_.get(), WINHTTP_QUERY_CUSTOM,
                          L"X-RateLimit-Reset-In")) {
    reply_.wait_seconds = Seconds(*reset);
  }
  if (!reply_.wait_seconds) {
    if (auto retry = Header(request_.get(), WINHTTP_QUERY_RETRY_AFTER,
                            WINHTTP_HEADER_NAME_BY_INDEX)) {
      reply_.wait_seconds = Seconds(*retry);
      if (!reply_.wait_seconds) reply_.wait_seconds = SecondsUntil(*retry);
    }
  }
  if (!follow_redirects_ && reply_.status >= 300 && reply_.status < 400) {
    const std::optional<std::wstring> location = Header(
        request_.get(), WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX);
    reply_.redirect = location ? WideToUtf8(*location) : std::string();
  }
}

void WebCall::ReadBody() {
  while (!closing_) {
    // One byte over the limit tells a body too large.
    const auto bytes = static_cast<DWORD>(
        std::min(kReadBytes, WebClient::kMaxBody + 1 - received_.size()));
    read_at_ = received_.size();
    received_.resize(read_at_ + bytes);
    reading_ = true;
    read_at_once_.reset();
    const bool started = WinHttpReadData(
        request_.get(), received_.data() + read_at_, bytes, nullptr);
    reading_ = false;
    if (!started) return Fail(GetLastError());
    if (!read_at_once_ || !Took(*read_at_once_)) return;
  }
}

bool WebCall::Took(DWORD length) {
  received_.resize(read_at_ + length);
  if (length > 0 && received_.size() <= WebClient::kMaxBody) return true;
  reply_.answered = true;
  reply_.too_large = length > 0;
  if (!reply_.too_large) reply_.body = std::move(received_);
  End(std::move(reply_));
  return false;
}

void WebCall::Fail(DWORD error) {
  const WebFailure failure = DescribeWebError(
      error, secure_flags_, host_, connected_, shared_->deadline_seconds);
  WebReply reply;
  reply.failure = failure.text;
  reply.certificate = failure.certificate;
  End(std::move(reply));
}

void WebCall::End(WebReply reply) {
  if (closing_) return;
  closing_ = true;
  const std::function<void(WebReply)> done = std::move(done_);
  done(std::move(reply));
  shared_->Answered();
  request_.Close();
}

}  // namespace receiver
