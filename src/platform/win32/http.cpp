// WinHTTP, loaded from the system folder at run time: winhttp.dll is not a known DLL, and a
// static import would be looked for first beside the installer (usually Downloads).

#include <windows.h>
#include <winhttp.h>

#include <vector>

#include "platform/http.h"
#include "platform/win32/system_library.h"

namespace platform {
namespace {

template <typename Function>
Function WinHttp(const char* name) {
  return win32::SystemFunction<Function>(L"winhttp.dll", name);
}

#define VELLMORA_WINHTTP(name) \
  static const auto name##_fn = WinHttp<decltype(&::name)>(#name)

HINTERNET AsInternet(HttpHandle handle) { return reinterpret_cast<HINTERNET>(handle); }

// The error of a failed call, or the loader's when winhttp.dll or the function is missing.
Win32Error LastError() {
  DWORD error = ::GetLastError();
  return error != 0 ? error : ERROR_PROC_NOT_FOUND;
}

}  // namespace

void WinHttpCloseHandle(HttpHandle handle) {
  VELLMORA_WINHTTP(WinHttpCloseHandle);
  if (handle != kNoHttpHandle && WinHttpCloseHandle_fn != nullptr) {
    WinHttpCloseHandle_fn(AsInternet(handle));
  }
}

Win32Error WinHttpCrackUrl(const std::wstring& url, UrlComponents* components) {
  VELLMORA_WINHTTP(WinHttpCrackUrl);
  if (WinHttpCrackUrl_fn == nullptr) return LastError();
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  // Lengths of -1 ask for pointers into the URL itself.
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl_fn(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
    return LastError();
  }
  UrlComponents result;
  result.scheme = parts.nScheme;
  result.port = parts.nPort;
  if (parts.lpszHostName != nullptr) result.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  if (parts.lpszUrlPath != nullptr) result.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo != nullptr) {
    result.extra_info.assign(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  }
  *components = result;
  return kErrorSuccess;
}

Win32Error WinHttpOpen(const std::wstring& user_agent, HttpHandle* session) {
  VELLMORA_WINHTTP(WinHttpOpen);
  if (WinHttpOpen_fn == nullptr) return LastError();
  HINTERNET handle = WinHttpOpen_fn(user_agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  if (handle == nullptr) return LastError();
  *session = reinterpret_cast<HttpHandle>(handle);
  return kErrorSuccess;
}

Win32Error WinHttpSetTimeouts(HttpHandle handle, int resolve_ms, int connect_ms, int send_ms,
                              int receive_ms) {
  VELLMORA_WINHTTP(WinHttpSetTimeouts);
  if (WinHttpSetTimeouts_fn == nullptr) return LastError();
  if (!WinHttpSetTimeouts_fn(AsInternet(handle), resolve_ms, connect_ms, send_ms, receive_ms)) {
    return LastError();
  }
  return kErrorSuccess;
}

Win32Error WinHttpConnect(HttpHandle session, const std::wstring& host, std::uint16_t port,
                          HttpHandle* connection) {
  VELLMORA_WINHTTP(WinHttpConnect);
  if (WinHttpConnect_fn == nullptr) return LastError();
  HINTERNET handle = WinHttpConnect_fn(AsInternet(session), host.c_str(), port, 0);
  if (handle == nullptr) return LastError();
  *connection = reinterpret_cast<HttpHandle>(handle);
  return kErrorSuccess;
}

Win32Error WinHttpOpenRequest(HttpHandle connection, const std::wstring& verb,
                              const std::wstring& path, bool secure, HttpHandle* request) {
  VELLMORA_WINHTTP(WinHttpOpenRequest);
  if (WinHttpOpenRequest_fn == nullptr) return LastError();
  HINTERNET handle = WinHttpOpenRequest_fn(
      AsInternet(connection), verb.c_str(), path.empty() ? nullptr : path.c_str(), nullptr,
      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0);
  if (handle == nullptr) return LastError();
  *request = reinterpret_cast<HttpHandle>(handle);
  return kErrorSuccess;
}

Win32Error WinHttpSendRequest(HttpHandle request) {
  VELLMORA_WINHTTP(WinHttpSendRequest);
  if (WinHttpSendRequest_fn == nullptr) return LastError();
  if (!WinHttpSendRequest_fn(AsInternet(request), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                             WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
    return LastError();
  }
  return kErrorSuccess;
}

Win32Error WinHttpReceiveResponse(HttpHandle request) {
  VELLMORA_WINHTTP(WinHttpReceiveResponse);
  if (WinHttpReceiveResponse_fn == nullptr) return LastError();
  if (!WinHttpReceiveResponse_fn(AsInternet(request), nullptr)) return LastError();
  return kErrorSuccess;
}

Win32Error WinHttpQueryStatusCode(HttpHandle request, std::uint32_t* status) {
  VELLMORA_WINHTTP(WinHttpQueryHeaders);
  if (WinHttpQueryHeaders_fn == nullptr) return LastError();
  DWORD code = 0;
  DWORD size = sizeof code;
  if (!WinHttpQueryHeaders_fn(AsInternet(request), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX)) {
    return LastError();
  }
  *status = code;
  return kErrorSuccess;
}

Win32Error WinHttpQueryContentLength(HttpHandle request, std::size_t max_characters,
                                     std::wstring* text) {
  VELLMORA_WINHTTP(WinHttpQueryHeaders);
  if (WinHttpQueryHeaders_fn == nullptr) return LastError();
  std::vector<wchar_t> buffer(max_characters + 1, L'\0');
  DWORD size = static_cast<DWORD>(max_characters * sizeof(wchar_t));
  if (!WinHttpQueryHeaders_fn(AsInternet(request), WINHTTP_QUERY_CONTENT_LENGTH,
                              WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &size,
                              WINHTTP_NO_HEADER_INDEX)) {
    return LastError();
  }
  text->assign(buffer.data(), size / sizeof(wchar_t));
  return kErrorSuccess;
}

Win32Error WinHttpQueryDataAvailable(HttpHandle request, std::uint32_t* bytes) {
  VELLMORA_WINHTTP(WinHttpQueryDataAvailable);
  if (WinHttpQueryDataAvailable_fn == nullptr) return LastError();
  DWORD available = 0;
  if (!WinHttpQueryDataAvailable_fn(AsInternet(request), &available)) return LastError();
  *bytes = available;
  return kErrorSuccess;
}

Win32Error WinHttpReadData(HttpHandle request, void* buffer, std::uint32_t size,
                           std::uint32_t* bytes_read) {
  VELLMORA_WINHTTP(WinHttpReadData);
  if (WinHttpReadData_fn == nullptr) return LastError();
  DWORD read = 0;
  if (!WinHttpReadData_fn(AsInternet(request), buffer, size, &read)) return LastError();
  *bytes_read = read;
  return kErrorSuccess;
}

}  // namespace platform
