#include "receiver/services/web_client.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <vector>

#include "receiver/services/web_call.h"
#include "receiver/services/web_failure.h"
#include "receiver/system/code_page.h"
#include "receiver/system/lock.h"
#include "receiver/system/system_message.h"

namespace receiver {

namespace {

constexpr ULONGLONG kNever = ~0ULL;

struct GlobalFreer {
  void operator()(wchar_t* text) const { GlobalFree(text); }
};
using GlobalText = std::unique_ptr<wchar_t, GlobalFreer>;

// Whether this is Windows 8.1 or later. RtlGetVersion tells the truth where
// VerifyVersionInfo answers a program without a manifest for Windows 8.1 or
// later as if it ran on Windows 8.
bool Windows81OrLater() {
  using GetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto get_version =
      ntdll == nullptr
          ? nullptr
          : reinterpret_cast<GetVersionFunction>(reinterpret_cast<void (*)()>(
                GetProcAddress(ntdll, "RtlGetVersion")));
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  if (get_version == nullptr || get_version(&version) != 0) return false;
  return version.dwMajorVersion > 6 ||
         (version.dwMajorVersion == 6 && version.dwMinorVersion >= 3);
}

// Windows 8.1 and later take the user's whole proxy setup themselves,
// automatic detection and configuration scripts included. On older ones
// the user's fixed proxy applies, if any; detection and scripts are not
// followed there (WinHttpGetProxyForUrl would block the caller for seconds
// per address), so such a user connects directly.
InternetHandle OpenSession(const std::wstring& agent) {
  if (Windows81OrLater()) {
    InternetHandle session(WinHttpOpen(
        agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
        WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
    if (session) return session;
  }
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
  const bool read = WinHttpGetIEProxyConfigForCurrentUser(&config);
  const GlobalText script(config.lpszAutoConfigUrl);  // freed, not used
  const GlobalText proxy(config.lpszProxy);
  const GlobalText bypass(config.lpszProxyBypass);
  InternetHandle session;
  if (read && proxy) {
    session = InternetHandle(WinHttpOpen(
        agent.c_str(), WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.get(),
        bypass ? bypass.get() : WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
  } else {
    session = InternetHandle(WinHttpOpen(
        agent.c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
        WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
  }
  if (!session) return session;
  // Windows 7 offers TLS 1.1 and 1.2 only when asked (and updated); without
  // the update it refuses the option and keeps its default.
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 |
                    WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 |
                    WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                   sizeof(protocols));
  return session;
}

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info,
                       DWORD length) {
  if (context == 0) return;  // the session, a connection, or not yet ours
  auto* call = reinterpret_cast<WebCall*>(context);
  if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
    // WinHTTP's last word on the request: nothing of it runs any more.
    const std::shared_ptr<WebCall> kept = call->shared_from_this();
    kept->shared()->Forget(call);
    return;
  }
  // Shared::open holds the call until HANDLE_CLOSING, which comes only after
  // every other callback of the request has returned.
  const std::shared_ptr<WebCall> kept = call->shared_from_this();
  kept->OnStatus(status, info, length);
}

void DeadlineLoop(WebClient::Shared& shared) {
  for (;;) {
    std::vector<std::shared_ptr<WebCall>> expired;
    {
      const LockHold hold(shared.lock);
      for (;;) {
        if (shared.stopping) return;
        const ULONGLONG now = GetTickCount64();
        ULONGLONG next = kNever;
        for (const auto& [key, call] : shared.open) {
          if (call->deadline <= now) {
            call->deadline = kNever;
            expired.push_back(call);
          } else {
            next = std::min(next, call->deadline);
          }
        }
        if (!expired.empty()) break;
        const DWORD wait =
            next == kNever
                ? INFINITE
                : static_cast<DWORD>(std::min<ULONGLONG>(next - now, 60000));
        SleepConditionVariableSRW(&shared.changed, &shared.lock, wait, 0);
      }
    }
    for (const auto& call : expired) {
      call->Cancel(NoAnswerText(shared.deadline_seconds));
    }
  }
}

}  // namespace

WebClient::WebClient(std::string user_agent, std::chrono::seconds deadline)
    : shared_(std::make_shared<Shared>()) {
  shared_->deadline_seconds = std::max<long long>(deadline.count(), 1);
  shared_->session = OpenSession(Utf8ToWide(user_agent));
  if (!shared_->session) {
    shared_->problem =
        "WinHTTP did not start: " + SystemMessage(GetLastError());
    return;
  }
  constexpr DWORD kNotices =
      WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES |
      WINHTTP_CALLBACK_FLAG_SECURE_FAILURE |
      WINHTTP_CALLBACK_FLAG_CONNECT_TO_SERVER | WINHTTP_CALLBACK_FLAG_REDIRECT;
  if (WinHttpSetStatusCallback(shared_->session.get(), OnStatus, kNotices, 0) ==
      WINHTTP_INVALID_STATUS_CALLBACK) {
    shared_->problem =
        "WinHTTP takes no status callback: " + SystemMessage(GetLastError());
    shared_->session.Close();
    return;
  }
  const std::shared_ptr<Shared> shared = shared_;
  deadline_thread_ =
      std::make_unique<Thread>([shared] { DeadlineLoop(*shared); });
  if (!deadline_thread_->started()) {
    shared_->problem =
        "no thread for the deadlines: " + SystemMessage(GetLastError());
    shared_->session.Close();
  }
}

// The calls and the deadline thread hold what they use: nothing here waits
// for WinHTTP.
WebClient::~WebClient() {
  CancelAll(std::chrono::milliseconds(0));
  const LockHold hold(shared_->lock);
  shared_->stopping = true;
  WakeAllConditionVariable(&shared_->changed);
}

bool WebClient::started() const { return static_cast<bool>(shared_->session); }

std::string WebClient::problem() const { return shared_->problem; }

std::uint64_t WebClient::Start(WebRequest request,
                               std::function<void(WebReply)> done) {
  const auto fail_now = [&done](std::string text) -> std::uint64_t {
    WebReply reply;
    reply.failure = std::move(text);
    done(std::move(reply));
    return 0;
  };
  if (!started()) return fail_now(shared_->problem);
  const std::wstring url = Utf8ToWide(request.url);
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (url.empty() ||
      !WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0,
                       &parts) ||
      (parts.nScheme != INTERNET_SCHEME_HTTP &&
       parts.nScheme != INTERNET_SCHEME_HTTPS) ||
      parts.dwHostNameLength == 0) {
    return fail_now("not an http:// or https:// address");
  }
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path =
      parts.dwUrlPathLength > 0
          ? std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength)
          : L"/";
  if (parts.dwExtraInfoLength > 0) {
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  }
  std::wstring headers;
  for (const auto& [name, value] : request.headers) {
    if (name.empty() || name.find_first_of(":\r\n") != std::string::npos ||
        value.find_first_of("\r\n") != std::string::npos) {
      return fail_now("a header's name or value is not one line: " + name);
    }
    headers += Utf8ToWide(name + ": " + value + "\r\n");
  }
  if (request.method.empty() ||
      request.method.find_first_of(" \r\n") != std::string::npos ||
      request.body.size() > kMaxBody) {
    return fail_now("not a request that can be sent");
  }
  const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  InternetHandle connection(
      WinHttpConnect(shared_->session.get(), host.c_str(), parts.nPort, 0));
  InternetHandle handle;
  if (connection) {
    handle = InternetHandle(WinHttpOpenRequest(
        connection.get(), Utf8ToWide(request.method).c_str(), path.c_str(),
        nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
        secure ? WINHTTP_FLAG_SECURE : 0));
  }
  if (!handle) {
    return fail_now(DescribeWebError(GetLastError(), 0, WideToUtf8(host), false,
                                     shared_->deadline_seconds)
                        .text);
  }
  std::uint64_t number = 0;
  {
    const LockHold hold(shared_->lock);
    number = ++shared_->last_number;
  }
  const auto call = std::make_shared<WebCall>(
      shared_, number, std::move(done), WideToUtf8(host),
      std::move(request.body), request.follow_redirects, std::move(connection),
      std::move(handle));
  {
    const LockHold hold(shared_->lock);
    call->deadline = GetTickCount64() +
                     static_cast<ULONGLONG>(shared_->deadline_seconds) * 1000;
    shared_->open.emplace(call.get(), call);
    ++shared_->unanswered;
    WakeAllConditionVariable(&shared_->changed);
  }
  call->Send(headers, static_cast<DWORD>(shared_->deadline_seconds) * 1000);
  return number;
}

void WebClient::Cancel(std::uint64_t request) {
  std::shared_ptr<WebCall> found;
  {
    const LockHold hold(shared_->lock);
    for (const auto& entry : shared_->open) {
      if (entry.second->number() == request) found = entry.second;
    }
  }
  if (found) found->Cancel("cancelled");
}

void WebClient::CancelAll(std::chrono::milliseconds wait) {
  std::vector<std::shared_ptr<WebCall>> calls;
  {
    const LockHold hold(shared_->lock);
    for (const auto& entry : shared_->open) calls.push_back(entry.second);
  }
  for (const auto& call : calls) call->Cancel("cancelled");
  calls.clear();
  const ULONGLONG end =
      GetTickCount64() +
      static_cast<ULONGLONG>(std::max<long long>(wait.count(), 0));
  const LockHold hold(shared_->lock);
  while (shared_->unanswered > 0 || !shared_->open.empty()) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end) break;
    SleepConditionVariableSRW(&shared_->changed, &shared_->lock,
                              static_cast<DWORD>(end - now), 0);
  }
}

}  // namespace receiver
