#include "receiver/services/web_failure.h"

#include <windows.h>
#include <winhttp.h>

#include "receiver/system/system_message.h"

namespace receiver {

namespace {

// WinHTTP's connect time-out and the resolve time-out, in seconds.
constexpr int kConnectSeconds = 5;

// The certificate's faults named by the flags, "; "-separated.
std::string CertificateFaults(unsigned long flags) {
  struct Fault {
    unsigned long flag;
    const char* text;
  };
  static constexpr Fault kFaults[] = {
      {WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA, "is not trusted"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID, "is for another name"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID,
       "has expired or is not yet valid"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED, "was revoked"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED,
       "could not be checked for revocation"},
      {WINHTTP_CALLBACK_STATUS_FLAG_CERT_WRONG_USAGE,
       "is not one for a web server"},
      {WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT, "is invalid"},
  };
  std::string text;
  for (const Fault& fault : kFaults) {
    if ((flags & fault.flag) == 0) continue;
    text += text.empty() ? "the certificate " : "; it ";
    text += fault.text;
  }
  return text;
}

unsigned long FlagOfError(unsigned long error) {
  switch (error) {
    case ERROR_WINHTTP_SECURE_INVALID_CA:
      return WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA;
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
      return WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID;
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
      return WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID;
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
      return WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED;
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
      return WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED;
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
      return WINHTTP_CALLBACK_STATUS_FLAG_CERT_WRONG_USAGE;
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
      return WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT;
    default:
      return 0;
  }
}

const char* PlainText(unsigned long error) {
  switch (error) {
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return "connection refused";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return "the server's name was not found";
    case ERROR_WINHTTP_CONNECTION_ERROR:
      return "the connection was broken off";
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
      return "the server's answer is not HTTP";
    case ERROR_WINHTTP_REDIRECT_FAILED:
      return "a redirect was refused (from https to http, or too many)";
    case ERROR_WINHTTP_OPERATION_CANCELLED:
      return "cancelled";
    case ERROR_WINHTTP_INVALID_URL:
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
      return "not an http:// or https:// address";
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
      // Windows says no more: a certificate it does not accept, or no TLS
      // version that both sides speak.
      return "the secure connection failed: the server's certificate or its "
             "TLS version was not accepted";
    case ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED:
      return "the server asks for a client certificate";
    case ERROR_WINHTTP_LOGIN_FAILURE:
      return "the proxy or server refused the log-in";
    case ERROR_WINHTTP_HEADER_SIZE_OVERFLOW:
    case ERROR_WINHTTP_HEADER_COUNT_EXCEEDED:
      return "the server's answer has too many headers";
    default:
      return nullptr;
  }
}

}  // namespace

WebFailure DescribeWebError(unsigned long error, unsigned long secure_flags,
                            const std::string& host, bool connected,
                            long long deadline_seconds) {
  WebFailure failure;
  // Wine's WinHTTP gives the socket's own time-out (WSAETIMEDOUT) for an
  // answer that did not come in time.
  constexpr unsigned long kSocketTimedOut = 10060;
  if (error == ERROR_WINHTTP_TIMEOUT || error == kSocketTimedOut) {
    failure.text = connected ? NoAnswerText(deadline_seconds)
                             : "no connection within " +
                                   std::to_string(kConnectSeconds) + " s";
    return failure;
  }
  const unsigned long flags = secure_flags | FlagOfError(error);
  std::string faults = CertificateFaults(flags);
  // The documented meaning of this error, when no flags said more.
  if (faults.empty() && error == ERROR_WINHTTP_SECURE_FAILURE) {
    faults = "the certificate was refused";
  }
  if (!faults.empty()) {
    failure.text = faults + " (" + host + ")";
    failure.certificate = true;
    return failure;
  }
  if (const char* text = PlainText(error)) {
    failure.text = text;
  } else {
    // Windows has texts for the system's errors, not for WinHTTP's.
    failure.text =
        error > WINHTTP_ERROR_BASE && error < WINHTTP_ERROR_BASE + 200
            ? "WinHTTP error " + std::to_string(error)
            : SystemMessage(error);
  }
  if (error == ERROR_WINHTTP_SECURE_CHANNEL_ERROR) {
    failure.text += " (" + host + ")";
  }
  return failure;
}

std::string NoAnswerText(long long deadline_seconds) {
  return "no answer within " + std::to_string(deadline_seconds) + " s";
}

}  // namespace receiver
