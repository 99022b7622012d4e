#pragma once
// The Windows HTTP client (WinHTTP), used synchronously: one session, one connection and one
// request per download. The request follows redirections itself (at most 10; an https URL is
// never redirected to http, the 3xx answer is then the response), uses HTTP/1.1, and reads the
// body with WinHttpReadData into the caller's buffer (the installer reads up to 1 MiB at a time).
//
// Errors are Win32/WinHTTP codes, the ones Windows reports:
//   kErrorWinHttpTimeout (12002)          a resolve, connect, send or receive time-out ran out
//   kErrorWinHttpInvalidUrl (12005)       the URL cannot be split
//   kErrorWinHttpUnrecognizedScheme (12006)  neither http nor https
//   kErrorWinHttpNameNotResolved (12007)  the host name has no address
//   kErrorWinHttpIncorrectHandleState (12019)  a response read before it was received
//   kErrorWinHttpCannotConnect (12029)    nobody accepts the connection
//   kErrorWinHttpConnectionError (12030)  the connection was reset mid-answer
//   kErrorWinHttpHeaderNotFound (12150)   the response has no such header
//   kErrorWinHttpInvalidServerResponse (12152)  the answer is not HTTP
//   kErrorWinHttpRedirectFailed (12156)   too many redirections, or a bad Location
//   kErrorWinHttpSecureFailure (12175)    TLS failed: the certificate is not trusted (only the
//                                         machine's root store counts), names another host, or
//                                         the handshake broke
//   kErrorInvalidHandle (6)               a handle of the wrong kind or already closed
//   kErrorInsufficientBuffer (122)        a header is longer than the caller allows
// Wine departs in places: it passes socket errors through (see WinHttpReadData), reads nothing
// and succeeds before a response, keeps a "#fragment" in the URL path, and matches a server
// certificate by its DNS names only (an https://127.0.0.1 URL fails with 12157 even when the
// certificate names the address).
//
// Time-outs are Windows' defaults (no resolve limit, 60 s connect, 30 s send and receive) until
// WinHttpSetTimeouts changes them; a session's time-outs pass to the connections and requests
// opened from it afterwards. The receive time-out counts from the last byte that arrived, inside
// WinHttpReceiveResponse and WinHttpReadData.

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace platform {

inline constexpr Win32Error kErrorWinHttpTimeout = 12002;
inline constexpr Win32Error kErrorWinHttpInvalidUrl = 12005;
inline constexpr Win32Error kErrorWinHttpUnrecognizedScheme = 12006;
inline constexpr Win32Error kErrorWinHttpNameNotResolved = 12007;
inline constexpr Win32Error kErrorWinHttpCannotConnect = 12029;
inline constexpr Win32Error kErrorWinHttpConnectionError = 12030;
inline constexpr Win32Error kErrorWinHttpIncorrectHandleState = 12019;
inline constexpr Win32Error kErrorWinHttpHeaderNotFound = 12150;
inline constexpr Win32Error kErrorWinHttpInvalidServerResponse = 12152;
inline constexpr Win32Error kErrorWinHttpRedirectFailed = 12156;
inline constexpr Win32Error kErrorWinHttpSecureFailure = 12175;

// An HINTERNET of WinHTTP: a session, a connection or a request. 0 is none.
using HttpHandle = std::intptr_t;
inline constexpr HttpHandle kNoHttpHandle = 0;

// WinHttpCloseHandle. Closing a request ends its transfer; closing a session or connection
// before its requests is allowed (they stay usable until closed themselves).
void WinHttpCloseHandle(HttpHandle handle);

// Owns one WinHTTP handle and closes it when it goes out of scope.
class UniqueHttpHandle {
 public:
  UniqueHttpHandle() = default;
  UniqueHttpHandle(const UniqueHttpHandle&) = delete;
  UniqueHttpHandle& operator=(const UniqueHttpHandle&) = delete;
  ~UniqueHttpHandle() { Reset(); }

  HttpHandle Get() const { return handle_; }
  void Reset(HttpHandle handle = kNoHttpHandle) {
    if (handle_ != kNoHttpHandle) WinHttpCloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HttpHandle handle_ = kNoHttpHandle;
};

// INTERNET_SCHEME_HTTP and INTERNET_SCHEME_HTTPS.
inline constexpr int kInternetSchemeHttp = 1;
inline constexpr int kInternetSchemeHttps = 2;

struct UrlComponents {
  int scheme = 0;
  std::wstring host;        // as written (no decoding)
  std::uint16_t port = 0;   // the URL's port, else 80 for http and 443 for https
  std::wstring path;        // from the first "/" after the host up to "?" or "#"
  std::wstring extra_info;  // the rest, starting with "?" or "#"; empty when there is none
};

// WinHttpCrackUrl without decoding or escaping: scheme, host, port, URL path and extra
// information. kErrorWinHttpUnrecognizedScheme or kErrorWinHttpInvalidUrl when it cannot.
Win32Error WinHttpCrackUrl(const std::wstring& url, UrlComponents* components);

// WinHttpOpen, synchronous, with WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY.
Win32Error WinHttpOpen(const std::wstring& user_agent, HttpHandle* session);
// WinHttpSetTimeouts on a session or request, in milliseconds.
Win32Error WinHttpSetTimeouts(HttpHandle handle, int resolve_ms, int connect_ms, int send_ms,
                              int receive_ms);
// WinHttpConnect: names the server; nothing is sent yet.
Win32Error WinHttpConnect(HttpHandle session, const std::wstring& host, std::uint16_t port,
                          HttpHandle* connection);
// WinHttpOpenRequest with HTTP/1.1, no referrer and no accept types; WINHTTP_FLAG_SECURE when
// secure. path is sent as given (URL path plus extra information); empty means "/".
Win32Error WinHttpOpenRequest(HttpHandle connection, const std::wstring& verb,
                              const std::wstring& path, bool secure, HttpHandle* request);
// WinHttpSendRequest without additional headers or body: resolves, connects, negotiates TLS
// and sends the request.
Win32Error WinHttpSendRequest(HttpHandle request);
// WinHttpReceiveResponse: waits for the final response's headers (after redirections).
Win32Error WinHttpReceiveResponse(HttpHandle request);
// WinHttpQueryHeaders(WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER).
Win32Error WinHttpQueryStatusCode(HttpHandle request, std::uint32_t* status);
// WinHttpQueryHeaders(WINHTTP_QUERY_CONTENT_LENGTH) as text, exactly as the server sent it, in a
// buffer of max_characters characters: kErrorWinHttpHeaderNotFound when the response has none,
// kErrorInsufficientBuffer when it does not fit.
Win32Error WinHttpQueryContentLength(HttpHandle request, std::size_t max_characters,
                                     std::wstring* text);
// WinHttpQueryDataAvailable: waits until body bytes are there; 0 at the end of the body.
Win32Error WinHttpQueryDataAvailable(HttpHandle request, std::uint32_t* bytes);
// WinHttpReadData: reads up to size bytes of the body; *bytes_read 0 with success is the end.
// A connection reset or a receive time-out fails the read once the bytes that did arrive have
// been read; a clean close before Content-Length was reached is just the end of the body (the
// caller compares the count). Under Wine the first two report the socket errors WSAECONNRESET
// (10054) and WSAETIMEDOUT (10060) instead of 12030 and 12002.
Win32Error WinHttpReadData(HttpHandle request, void* buffer, std::uint32_t size,
                           std::uint32_t* bytes_read);

}  // namespace platform
