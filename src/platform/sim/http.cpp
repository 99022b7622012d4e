// WinHTTP over libcurl's multi interface, so that the pull model of WinHttpReadData drives a
// push-model transfer: each call runs the transfer until the caller's bytes are there, and the
// transfer pauses while more than a couple of read buffers wait, so memory stays bounded.
//
// The machine is a closed world: host names resolve only through its own hosts file (and
// "localhost", which Windows answers itself), never through the host's resolver, and TLS trusts
// only the machine's root store (root-certificates.pem in the machine root). Redirections are
// followed here rather than by curl, so that every new host goes through the same resolution.

#include "platform/http.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/sim/sim_control.h"
#include "platform/sim/text.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxRedirections = 10;
// The transfer pauses while this much body waits unread beside the caller's buffer.
constexpr std::size_t kPauseAbove = 1u << 20;
// A read returns once this much has arrived, as WinHTTP returns what is there: the caller's
// buffer is then reused from its start while that part is still in the processor's cache.
constexpr std::size_t kReadReturnsAt = 64u << 10;
constexpr const wchar_t* kHostsFile = L"C:\\Windows\\System32\\drivers\\etc\\hosts";
constexpr const char* kRootStoreFile = "root-certificates.pem";

std::atomic<int> g_timeout_limit_ms{0};

struct Timeouts {
  int resolve_ms = 0;
  int connect_ms = 60000;
  int send_ms = 30000;
  int receive_ms = 30000;
};

int Limited(int milliseconds) {
  int limit = g_timeout_limit_ms.load();
  if (limit <= 0) return milliseconds;
  return milliseconds <= 0 ? limit : std::min(milliseconds, limit);
}

enum class Kind { kSession, kConnection, kRequest };

struct Request {
  std::string url;  // of the current hop
  std::string user_agent;
  Timeouts timeouts;
  int redirections = 0;

  CURLM* multi = nullptr;
  CURL* easy = nullptr;
  curl_slist* resolve = nullptr;
  curl_slist* connect_to = nullptr;
  curl_slist* headers_out = nullptr;
  bool sent = false;
  bool received = false;

  std::vector<std::string> header_lines;  // of the latest response, status line first
  bool headers_complete = false;
  std::string body;  // arrived, not yet read: body[body_offset..]
  std::size_t body_offset = 0;
  // The buffer of the WinHttpReadData call in progress: arriving bytes go straight there.
  char* reader = nullptr;
  std::size_t reader_size = 0;
  std::size_t reader_filled = 0;
  bool paused = false;
  bool done = false;
  CURLcode result = CURLE_OK;
  std::uint64_t bytes_arrived = 0;  // headers and body, for the receive time-out

  std::size_t Pending() const { return body.size() - body_offset; }

  void EndTransfer() {
    if (easy != nullptr) {
      curl_multi_remove_handle(multi, easy);
      curl_easy_cleanup(easy);
      easy = nullptr;
    }
    curl_slist_free_all(resolve);
    resolve = nullptr;
    curl_slist_free_all(connect_to);
    connect_to = nullptr;
    curl_slist_free_all(headers_out);
    headers_out = nullptr;
  }
  ~Request() {
    EndTransfer();
    if (multi != nullptr) curl_multi_cleanup(multi);
  }
};

struct Object {
  Kind kind = Kind::kSession;
  Timeouts timeouts;
  std::string user_agent;
  std::string host;
  std::uint16_t port = 0;
  std::unique_ptr<Request> request;
};

std::mutex g_lock;
std::map<HttpHandle, std::shared_ptr<Object>> g_objects;
HttpHandle g_next_handle = 0x1000;

HttpHandle Register(std::shared_ptr<Object> object) {
  static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  (void)initialised;
  std::lock_guard<std::mutex> guard(g_lock);
  g_next_handle += 4;
  g_objects[g_next_handle] = std::move(object);
  return g_next_handle;
}

std::shared_ptr<Object> Find(HttpHandle handle, Kind kind) {
  std::lock_guard<std::mutex> guard(g_lock);
  auto found = g_objects.find(handle);
  if (found == g_objects.end() || found->second->kind != kind) return nullptr;
  return found->second;
}

std::string Narrow(const std::wstring& text) { return sim::internal::ToUtf8(text); }

// Host names and header names are ASCII; anything else never matches by accident of case.
bool SameAscii(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
           return lower(x) == lower(y);
         });
}

bool IsIpLiteral(const std::string& host) {
  if (!host.empty() && host.front() == '[') return true;
  return !host.empty() && host.find_first_not_of("0123456789.") == std::string::npos;
}

// The address the machine's hosts file gives the name (the first line that lists it), or "".
std::string ResolveThroughHostsFile(const std::string& host) {
  if (SameAscii(host, "localhost")) return "127.0.0.1";
  std::ifstream file(sim::HostPathOf(kHostsFile));
  std::string line;
  while (std::getline(file, line)) {
    line = line.substr(0, line.find('#'));
    std::istringstream fields(line);
    std::string address, name;
    if (!(fields >> address)) continue;
    while (fields >> name) {
      if (SameAscii(name, host)) return address;
    }
  }
  return std::string();
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* context) {
  auto* request = static_cast<Request*>(context);
  std::string line(data, size * count);
  request->bytes_arrived += line.size();
  if (line.rfind("HTTP/", 0) == 0) {
    request->header_lines.clear();
    request->headers_complete = false;
  }
  if (line == "\r\n" || line == "\n") {
    // An interim 1xx answer is followed by the real one.
    long status = 0;
    curl_easy_getinfo(request->easy, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 200) request->headers_complete = true;
  } else {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    request->header_lines.push_back(line);
  }
  return size * count;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* context) {
  auto* request = static_cast<Request*>(context);
  std::size_t total = size * count;
  if (request->reader != nullptr && request->Pending() == 0) {
    std::size_t direct = std::min(total, request->reader_size - request->reader_filled);
    std::copy_n(data, direct, request->reader + request->reader_filled);
    request->reader_filled += direct;
    request->bytes_arrived += direct;
    data += direct;
    total -= direct;
    if (total == 0) return size * count;
  }
  if (request->Pending() >= kPauseAbove) {
    // Only whole deliveries can be refused; the bytes already taken above count as taken.
    if (total != size * count) {
      request->body.append(data, total);
      request->bytes_arrived += total;
      return size * count;
    }
    request->paused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  // Read bytes are dropped before new ones come, so the buffer holds little more than the unread.
  if (request->body_offset == request->body.size() || request->body_offset >= kPauseAbove) {
    request->body.erase(0, request->body_offset);
    request->body_offset = 0;
  }
  request->body.append(data, total);
  request->bytes_arrived += total;
  return size * count;
}

Win32Error ErrorOfTransfer(CURLcode code) {
  switch (code) {
    case CURLE_OK: return kErrorSuccess;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT: return kErrorWinHttpInvalidUrl;
    case CURLE_COULDNT_RESOLVE_HOST: return kErrorWinHttpNameNotResolved;
    case CURLE_COULDNT_CONNECT: return kErrorWinHttpCannotConnect;
    case CURLE_OPERATION_TIMEDOUT: return kErrorWinHttpTimeout;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR: return kErrorWinHttpSecureFailure;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING: return kErrorWinHttpInvalidServerResponse;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR: return kErrorWinHttpConnectionError;
    default: return kErrorWinHttpConnectionError;
  }
}

// Starts the current hop of the request on a fresh easy handle.
Win32Error StartTransfer(Request* request) {
  request->EndTransfer();
  request->header_lines.clear();
  request->headers_complete = false;
  request->body.clear();
  request->body_offset = 0;
  request->paused = false;
  request->done = false;
  request->result = CURLE_OK;

  CURLU* parsed = curl_url();
  char* host_text = nullptr;
  char* port_text = nullptr;
  char* scheme_text = nullptr;
  bool parsed_ok = curl_url_set(parsed, CURLUPART_URL, request->url.c_str(), 0) == CURLUE_OK &&
                   curl_url_get(parsed, CURLUPART_HOST, &host_text, 0) == CURLUE_OK &&
                   curl_url_get(parsed, CURLUPART_SCHEME, &scheme_text, 0) == CURLUE_OK &&
                   curl_url_get(parsed, CURLUPART_PORT, &port_text, CURLU_DEFAULT_PORT) == CURLUE_OK;
  std::string host = parsed_ok ? host_text : "";
  std::string port = parsed_ok ? port_text : "";
  std::string scheme = parsed_ok ? scheme_text : "";
  curl_free(host_text);
  curl_free(port_text);
  curl_free(scheme_text);
  curl_url_cleanup(parsed);
  if (!parsed_ok) return kErrorWinHttpInvalidUrl;

  std::string address = host;
  if (!IsIpLiteral(host)) {
    address = ResolveThroughHostsFile(host);
    if (address.empty()) return kErrorWinHttpNameNotResolved;
    request->resolve = curl_slist_append(nullptr, (host + ":" + port + ":" + address).c_str());
  }
  for (const sim::PortProxy& rule : sim::internal::Config()->port_proxies) {
    if (rule.listen_address == address && std::to_string(rule.listen_port) == port) {
      request->connect_to = curl_slist_append(
          nullptr, (host + ":" + port + ":" + rule.connect_address + ":" +
                    std::to_string(rule.connect_port)).c_str());
      break;
    }
  }
  // WinHTTP sends no Accept header unless asked to.
  request->headers_out = curl_slist_append(nullptr, "Accept:");

  if (request->multi == nullptr) request->multi = curl_multi_init();
  CURL* easy = curl_easy_init();
  request->easy = easy;
  curl_easy_setopt(easy, CURLOPT_URL, request->url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, request->user_agent.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, request->headers_out);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_PROXY, "");
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
  if (request->resolve != nullptr) curl_easy_setopt(easy, CURLOPT_RESOLVE, request->resolve);
  if (request->connect_to != nullptr) curl_easy_setopt(easy, CURLOPT_CONNECT_TO, request->connect_to);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(Limited(request->timeouts.connect_ms)));
  std::string store = sim::MachineRoot() + "/" + kRootStoreFile;
  curl_easy_setopt(easy, CURLOPT_CAINFO, store.c_str());
  curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 256L * 1024L);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, request);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, request);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_multi_add_handle(request->multi, easy);
  return kErrorSuccess;
}

// Runs the transfer until ready() holds or it ends. A receive limit (> 0) fails the wait with
// the time-out error when no byte arrives for that long.
template <typename Ready>
Win32Error Drive(Request* request, int receive_limit_ms, Ready ready) {
  Clock::time_point last_arrival = Clock::now();
  std::uint64_t arrived = request->bytes_arrived;
  while (!ready() && !request->done) {
    int running = 0;
    curl_multi_perform(request->multi, &running);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(request->multi, &queued)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == request->easy) {
        request->done = true;
        // A clean close before the announced length just ends the body, as it does for
        // WinHTTP; the caller compares the count with Content-Length.
        request->result =
            message->data.result == CURLE_PARTIAL_FILE ? CURLE_OK : message->data.result;
      }
    }
    if (request->bytes_arrived != arrived) {
      arrived = request->bytes_arrived;
      last_arrival = Clock::now();
    }
    if (ready() || request->done) break;
    int wait_ms = 100;
    if (receive_limit_ms > 0) {
      auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - last_arrival);
      if (waited.count() >= receive_limit_ms) return kErrorWinHttpTimeout;
      wait_ms = static_cast<int>(std::min<long long>(wait_ms, receive_limit_ms - waited.count()));
    }
    curl_multi_poll(request->multi, nullptr, 0, std::max(wait_ms, 1), nullptr);
  }
  return kErrorSuccess;
}

bool IsRedirection(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The absolute target of the current response's Location header, or "" when there is none.
std::string RedirectionTarget(const Request& request) {
  std::string location;
  for (const std::string& line : request.header_lines) {
    std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    if (SameAscii(line.substr(0, colon), "location")) {
      location = line.substr(colon + 1);
      location.erase(0, location.find_first_not_of(" \t"));
    }
  }
  if (location.empty()) return location;
  CURLU* url = curl_url();
  char* text = nullptr;
  std::string target;
  if (curl_url_set(url, CURLUPART_URL, request.url.c_str(), 0) == CURLUE_OK &&
      curl_url_set(url, CURLUPART_URL, location.c_str(), 0) == CURLUE_OK &&
      curl_url_get(url, CURLUPART_URL, &text, 0) == CURLUE_OK) {
    target = text;
  }
  curl_free(text);
  curl_url_cleanup(url);
  return target;
}

Request* RequestOf(HttpHandle handle, std::shared_ptr<Object>* keep) {
  *keep = Find(handle, Kind::kRequest);
  return *keep ? keep->get()->request.get() : nullptr;
}

}  // namespace

void WinHttpCloseHandle(HttpHandle handle) {
  std::shared_ptr<Object> object;
  {
    std::lock_guard<std::mutex> guard(g_lock);
    auto found = g_objects.find(handle);
    if (found == g_objects.end()) return;
    object = std::move(found->second);
    g_objects.erase(found);
  }
}

Win32Error WinHttpCrackUrl(const std::wstring& url, UrlComponents* components) {
  std::size_t separator = url.find(L"://");
  if (separator == std::wstring::npos) return kErrorWinHttpUnrecognizedScheme;
  std::wstring scheme = url.substr(0, separator);
  UrlComponents parts;
  if (sim::internal::EqualsIgnoringCase(scheme, L"http")) {
    parts.scheme = kInternetSchemeHttp;
    parts.port = 80;
  } else if (sim::internal::EqualsIgnoringCase(scheme, L"https")) {
    parts.scheme = kInternetSchemeHttps;
    parts.port = 443;
  } else {
    return kErrorWinHttpUnrecognizedScheme;
  }
  std::wstring rest = url.substr(separator + 3);
  std::size_t authority_end = rest.find_first_of(L"/?#");
  std::wstring authority = rest.substr(0, authority_end);
  std::wstring tail = authority_end == std::wstring::npos ? L"" : rest.substr(authority_end);
  std::size_t at = authority.rfind(L'@');
  if (at != std::wstring::npos) authority.erase(0, at + 1);
  std::size_t colon = authority.rfind(L':');
  if (colon != std::wstring::npos && authority.find(L']', colon) == std::wstring::npos) {
    std::wstring port = authority.substr(colon + 1);
    authority.erase(colon);
    if (!port.empty()) {
      if (port.size() > 5 || port.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return kErrorWinHttpInvalidUrl;
      }
      unsigned long value = std::stoul(port);
      if (value > 65535) return kErrorWinHttpInvalidUrl;
      parts.port = static_cast<std::uint16_t>(value);
    }
  }
  if (authority.empty()) return kErrorWinHttpInvalidUrl;
  parts.host = authority;
  std::size_t extra = tail.find_first_of(L"?#");
  parts.path = tail.substr(0, extra);
  if (extra != std::wstring::npos) parts.extra_info = tail.substr(extra);
  *components = parts;
  return kErrorSuccess;
}

Win32Error WinHttpOpen(const std::wstring& user_agent, HttpHandle* session) {
  auto object = std::make_shared<Object>();
  object->kind = Kind::kSession;
  object->user_agent = Narrow(user_agent);
  *session = Register(std::move(object));
  return kErrorSuccess;
}

Win32Error WinHttpSetTimeouts(HttpHandle handle, int resolve_ms, int connect_ms, int send_ms,
                              int receive_ms) {
  if (resolve_ms < -1 || connect_ms < -1 || send_ms < -1 || receive_ms < -1) {
    return kErrorInvalidParameter;
  }
  std::shared_ptr<Object> object = Find(handle, Kind::kSession);
  if (!object) object = Find(handle, Kind::kRequest);
  if (!object) return kErrorInvalidHandle;
  // -1 means "no limit", as 0 does.
  Timeouts timeouts{std::max(resolve_ms, 0), std::max(connect_ms, 0), std::max(send_ms, 0),
                    std::max(receive_ms, 0)};
  object->timeouts = timeouts;
  if (object->request) object->request->timeouts = timeouts;
  return kErrorSuccess;
}

Win32Error WinHttpConnect(HttpHandle session, const std::wstring& host, std::uint16_t port,
                          HttpHandle* connection) {
  std::shared_ptr<Object> parent = Find(session, Kind::kSession);
  if (!parent) return kErrorInvalidHandle;
  if (host.empty()) return kErrorInvalidParameter;
  auto object = std::make_shared<Object>();
  object->kind = Kind::kConnection;
  object->timeouts = parent->timeouts;
  object->user_agent = parent->user_agent;
  object->host = Narrow(host);
  object->port = port;
  *connection = Register(std::move(object));
  return kErrorSuccess;
}

Win32Error WinHttpOpenRequest(HttpHandle connection, const std::wstring& verb,
                              const std::wstring& path, bool secure, HttpHandle* request) {
  std::shared_ptr<Object> parent = Find(connection, Kind::kConnection);
  if (!parent) return kErrorInvalidHandle;
  // Only what the installer sends: a GET without a body.
  if (verb != L"GET") return kErrorInvalidParameter;
  auto object = std::make_shared<Object>();
  object->kind = Kind::kRequest;
  object->timeouts = parent->timeouts;
  object->request = std::make_unique<Request>();
  Request& state = *object->request;
  state.timeouts = parent->timeouts;
  state.user_agent = parent->user_agent;
  std::string target = Narrow(path);
  if (target.empty()) target = "/";
  if (target.front() != '/') target.insert(0, "/");
  state.url = std::string(secure ? "https" : "http") + "://" + parent->host + ":" +
              std::to_string(parent->port) + target;
  *request = Register(std::move(object));
  return kErrorSuccess;
}

Win32Error WinHttpSendRequest(HttpHandle handle) {
  std::shared_ptr<Object> keep;
  Request* request = RequestOf(handle, &keep);
  if (request == nullptr) return kErrorInvalidHandle;
  Win32Error error = StartTransfer(request);
  if (error != kErrorSuccess) return error;
  // Sent once the connection (and TLS) stands; what follows belongs to the response.
  Drive(request, 0, [&] {
    curl_off_t pretransfer = 0;
    curl_easy_getinfo(request->easy, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
    return pretransfer > 0 || request->bytes_arrived > 0;
  });
  if (request->done && request->result != CURLE_OK && request->bytes_arrived == 0) {
    return ErrorOfTransfer(request->result);
  }
  request->sent = true;
  return kErrorSuccess;
}

Win32Error WinHttpReceiveResponse(HttpHandle handle) {
  std::shared_ptr<Object> keep;
  Request* request = RequestOf(handle, &keep);
  if (request == nullptr) return kErrorInvalidHandle;
  if (!request->sent) return kErrorWinHttpIncorrectHandleState;
  for (;;) {
    Win32Error error = Drive(request, Limited(request->timeouts.receive_ms),
                             [&] { return request->headers_complete; });
    if (error != kErrorSuccess) return error;
    if (!request->headers_complete) {
      return request->result == CURLE_OK ? kErrorWinHttpInvalidServerResponse
                                         : ErrorOfTransfer(request->result);
    }
    long status = 0;
    curl_easy_getinfo(request->easy, CURLINFO_RESPONSE_CODE, &status);
    if (!IsRedirection(status)) break;
    std::string target = RedirectionTarget(*request);
    if (target.empty()) break;
    // Windows' default policy: never from https down to http; the 3xx is then the answer.
    if (request->url.rfind("https:", 0) == 0 && target.rfind("http:", 0) == 0) break;
    if (++request->redirections > kMaxRedirections) return kErrorWinHttpRedirectFailed;
    request->url = target;
    error = StartTransfer(request);
    if (error != kErrorSuccess) return error;
  }
  request->received = true;
  return kErrorSuccess;
}

Win32Error WinHttpQueryStatusCode(HttpHandle handle, std::uint32_t* status) {
  std::shared_ptr<Object> keep;
  Request* request = RequestOf(handle, &keep);
  if (request == nullptr) return kErrorInvalidHandle;
  if (!request->received) return kErrorWinHttpIncorrectHandleState;
  long code = 0;
  curl_easy_getinfo(request->easy, CURLINFO_RESPONSE_CODE, &code);
  *status = static_cast<std::uint32_t>(code);
  return kErrorSuccess;
}

Win32Error WinHttpQueryContentLength(HttpHandle handle, std::size_t max_characters,
                                     std::wstring* text) {
  std::shared_ptr<Object> keep;
  Request* request = RequestOf(handle, &keep);
  if (request == nullptr) return kErrorInvalidHandle;
  if (!request->received) return kErrorWinHttpIncorrectHandleState;
  for (const std::string& line : request->header_lines) {
    std::size_t colon = line.find(':');
    if (colon == std::string::npos ||
        !SameAscii(line.substr(0, colon), "content-length")) {
      continue;
    }
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    value.erase(value.find_last_not_of(" \t") + 1);
    // The buffer holds the terminating zero too.
    if (value.size() + 1 > max_characters) return kErrorInsufficientBuffer;
    *text = std::wstring(value.begin(), value.end());
    return kErrorSuccess;
  }
  return kErrorWinHttpHeaderNotFound;
}

Win32Error WinHttpQueryDataAvailable(HttpHandle handle, std::uint32_t* bytes) {
  std::shared_ptr<Object> keep;
  Request* request = RequestOf(handle, &keep);
  if (request == nullptr) return kErrorInvalidHandle;
  if (!request->received) return kErrorWinHttpIncorrectHandleState;
  Win32Error error = Drive(request, Limited(request->timeouts.receive_ms),
                           [&] { return request->Pending() > 0 || request->paused; });
  if (error != kErrorSuccess) return error;
  if (request->Pending() == 0 && request->result != CURLE_OK) {
    return ErrorOfTransfer(request->result);
  }
  *bytes = static_cast<std::uint32_t>(std::min<std::size_t>(request->Pending(), UINT32_MAX));
  return kErrorSuccess;
}

Win32Error WinHttpReadData(HttpHandle handle, void* buffer, std::uint32_t size,
                           std::uint32_t* bytes_read) {
  std::shared_ptr<Object> keep;
  Request* request = RequestOf(handle, &keep);
  if (request == nullptr) return kErrorInvalidHandle;
  if (!request->received) return kErrorWinHttpIncorrectHandleState;
  *bytes_read = 0;
  char* out = static_cast<char*>(buffer);
  std::size_t count = std::min<std::size_t>(request->Pending(), size);
  std::copy_n(request->body.data() + request->body_offset, count, out);
  request->body_offset += count;
  if (request->paused && request->Pending() < kPauseAbove) {
    request->paused = false;
    curl_easy_pause(request->easy, CURLPAUSE_CONT);
  }
  Win32Error error = kErrorSuccess;
  const std::size_t enough = std::min<std::size_t>(size, kReadReturnsAt);
  if (count < enough && request->Pending() == 0) {
    request->reader = out;
    request->reader_size = size;
    request->reader_filled = count;
    error = Drive(request, Limited(request->timeouts.receive_ms),
                  [&] { return request->reader_filled >= enough; });
    count = request->reader_filled;
    request->reader = nullptr;
  }
  *bytes_read = static_cast<std::uint32_t>(count);
  // What arrived before a failure is handed out first; the failure comes with the next read.
  if (count > 0) return kErrorSuccess;
  if (error != kErrorSuccess) return error;
  return ErrorOfTransfer(request->result);
}

}  // namespace platform

namespace sim {

namespace {

bool AppendToHostFile(const std::string& host_path, const std::string& text) {
  if (host_path.empty()) return false;
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(host_path).parent_path(), error);
  std::ofstream file(host_path, std::ios::binary | std::ios::app);
  file << text;
  file.flush();
  return static_cast<bool>(file);
}

}  // namespace

bool AddHostsEntry(const std::string& address, const std::string& name) {
  return AppendToHostFile(HostPathOf(platform::kHostsFile), address + " " + name + "\r\n");
}

bool AddRootCertificate(const std::string& pem) {
  std::string text = pem;
  if (!text.empty() && text.back() != '\n') text.push_back('\n');
  return AppendToHostFile(MachineRoot() + "/" + platform::kRootStoreFile, text);
}

void AddPortProxy(const PortProxy& rule) {
  internal::ChangeConfig([&](internal::MachineConfig* config) {
    config->port_proxies.push_back(rule);
  });
}

void SetHttpTimeoutLimit(int milliseconds) { platform::g_timeout_limit_ms = milliseconds; }

}  // namespace sim
