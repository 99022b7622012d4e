// The package downloader: one HTTPS GET streamed through one 1 MiB buffer into the target file.
// No resume, no retry, no checksum: a failed or short download fails the step, and the package's
// contents are judged afterwards by the listing and manifest checks.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/build_info.h"
#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/text.h"
#include "platform/files.h"
#include "platform/http.h"

namespace vellmora {
namespace {

using platform::Win32Error;

constexpr int kDownloadTimeoutMs = 30000;
constexpr std::uint32_t kReadBufferBytes = 1048576;
constexpr std::size_t kContentLengthCharacters = 64;
constexpr std::uint64_t kMiB = 1048576;

// The C runtime's errno for a Windows error, as its own file functions map them.
int CRuntimeErrorOf(Win32Error error) {
  switch (error) {
    case platform::kErrorFileNotFound:
    case platform::kErrorPathNotFound:
    case platform::kErrorInvalidName: return 2;  // ENOENT
    case platform::kErrorInvalidHandle: return 9;  // EBADF
    case platform::kErrorAccessDenied:
    case platform::kErrorSharingViolation:
    case platform::kErrorLockViolation:
    case platform::kErrorDirectory: return 13;  // EACCES
    case platform::kErrorFileExists:
    case platform::kErrorAlreadyExists: return 17;  // EEXIST
    case platform::kErrorDiskFull: return 28;  // ENOSPC
    default: return 22;  // EINVAL
  }
}

std::string Number(std::uint64_t value) { return std::to_string(value); }

// A Content-Length of digits only; anything else (or 0) is an unknown size.
std::uint64_t ParseContentLength(const std::wstring& text) {
  if (text.empty() || text.size() > 20) return 0;
  std::uint64_t value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return 0;
    std::uint64_t digit = static_cast<std::uint64_t>(c - L'0');
    if (value > (UINT64_MAX - digit) / 10) return 0;
    value = value * 10 + digit;
  }
  return value;
}

// Creates folder and every missing parent; the first error, or success when it all exists.
Win32Error CreateDirectoryChain(const Path& folder) {
  std::vector<Path> missing;
  for (Path current = folder;; current = ParentPath(current)) {
    std::uint32_t attributes = platform::GetFileAttributesW(current);
    if (attributes != platform::kInvalidFileAttributes) break;
    missing.push_back(current);
    if (ParentPath(current) == current) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    Win32Error error = platform::CreateDirectoryW(*it);
    if (error != platform::kErrorSuccess && error != platform::kErrorAlreadyExists) return error;
  }
  return platform::kErrorSuccess;
}

// The target file while it is written: removed again unless the download is kept.
class PartialDownload {
 public:
  PartialDownload(InstallerEngine& engine, const Path& target) : engine_(engine), target_(target) {}
  PartialDownload(const PartialDownload&) = delete;
  PartialDownload& operator=(const PartialDownload&) = delete;
  ~PartialDownload() {
    Close();
    if (kept_ || !created_) return;
    Win32Error error = platform::DeleteFileW(target_);
    if (error != platform::kErrorSuccess && error != platform::kErrorFileNotFound) {
      ReportLog(engine_, "Warning: Could not remove the partial download " + ToUtf8(target_) +
                             " (Windows error " + Number(error) + ").");
    }
  }

  // Creates the file anew. Whatever stood at the target (a link included) is removed first, so
  // that the download is never written through someone else's link.
  Win32Error Create() {
    platform::DeleteFileW(target_);
    Win32Error error = platform::CreateFileW(target_, platform::kGenericWrite, platform::kShareRead,
                                             platform::kCreateNew, platform::kAttributeNormal,
                                             &file_);
    created_ = error == platform::kErrorSuccess;
    return error;
  }
  Win32Error Write(const char* data, std::uint32_t size) {
    std::uint32_t written = 0;
    Win32Error error = platform::WriteFile(file_.Get(), data, size, &written);
    if (error == platform::kErrorSuccess && written != size) error = platform::kErrorDiskFull;
    return error;
  }
  // True when the handle closed cleanly: every byte written is with the system.
  bool Close() {
    if (!file_.Valid()) return true;
    return platform::CloseHandle(file_.Release()) == platform::kErrorSuccess;
  }
  void Keep() { kept_ = true; }

 private:
  InstallerEngine& engine_;
  Path target_;
  platform::UniqueHandle file_;
  bool created_ = false;
  bool kept_ = false;
};

}  // namespace

bool InstallerEngine::DownloadFile(const std::wstring& url, const std::wstring& target,
                                   float band_start, float band_end, const std::string& label) {
  ReportLog(*this, "[*] Downloading " + label + " to " + ToUtf8(target) + "...");

  platform::UrlComponents parts;
  if (Win32Error error = platform::WinHttpCrackUrl(url, &parts)) {
    ReportLog(*this, "Invalid download URL (WinHTTP error " + Number(error) + ").");
    return false;
  }
  ReportLog(*this, "Download source: host=" + ToUtf8(parts.host) + ", path=" + ToUtf8(parts.path) + ".");
  const std::wstring request_path = parts.path + parts.extra_info;

  platform::HttpHandle handle = platform::kNoHttpHandle;
  platform::UniqueHttpHandle session;
  if (Win32Error error =
          platform::WinHttpOpen(L"Vellmora Installer/" + WidenBytes(kInstallerBuild), &handle)) {
    ReportLog(*this, "WinHttpOpen failed (Windows error " + Number(error) + ").");
    return false;
  }
  session.Reset(handle);
  platform::WinHttpSetTimeouts(session.Get(), kDownloadTimeoutMs, kDownloadTimeoutMs,
                               kDownloadTimeoutMs, kDownloadTimeoutMs);

  platform::UniqueHttpHandle connection;
  if (Win32Error error = platform::WinHttpConnect(session.Get(), parts.host, parts.port, &handle)) {
    ReportLog(*this, "WinHttpConnect failed (Windows error " + Number(error) + ").");
    return false;
  }
  connection.Reset(handle);
  platform::UniqueHttpHandle request;
  if (Win32Error error = platform::WinHttpOpenRequest(connection.Get(), L"GET", request_path,
                                                      parts.scheme == platform::kInternetSchemeHttps,
                                                      &handle)) {
    ReportLog(*this, "WinHttpOpenRequest failed (Windows error " + Number(error) + ").");
    return false;
  }
  request.Reset(handle);

  if (Win32Error error = platform::WinHttpSendRequest(request.Get())) {
    ReportLog(*this, "WinHttpSendRequest failed (Windows error " + Number(error) + ").");
    return false;
  }
  if (Win32Error error = platform::WinHttpReceiveResponse(request.Get())) {
    ReportLog(*this, "WinHttpReceiveResponse failed (Windows error " + Number(error) + ").");
    return false;
  }
  std::uint32_t status = 0;
  if (Win32Error error = platform::WinHttpQueryStatusCode(request.Get(), &status)) {
    ReportLog(*this, "Could not read HTTP status (Windows error " + Number(error) + ").");
    return false;
  }
  if (status != 200) {
    ReportLog(*this, "Server returned HTTP " + Number(status) + ".");
    return false;
  }

  std::wstring length_text;
  std::uint64_t reported = 0;
  if (platform::WinHttpQueryContentLength(request.Get(), kContentLengthCharacters, &length_text) ==
      platform::kErrorSuccess) {
    reported = ParseContentLength(length_text);
  }
  ReportLog(*this, "HTTP 200; reported_bytes=" + (reported > 0 ? Number(reported) : "unknown") + ".");

  const Path folder = ParentPath(target);
  if (Win32Error error = CreateDirectoryChain(folder)) {
    ReportLog(*this, "Could not create download directory " + ToUtf8(folder) + " (Windows error " +
                         Number(error) + ").");
    return false;
  }
  PartialDownload file(*this, target);
  if (Win32Error error = file.Create()) {
    ReportLog(*this, "Could not create temporary download file " + ToUtf8(target) +
                         " (C runtime error " + Number(CRuntimeErrorOf(error)) + ").");
    return false;
  }

  std::vector<char> buffer(kReadBufferBytes);
  std::uint64_t received = 0;
  int next_mark = 25;
  for (;;) {
    std::uint32_t read = 0;
    if (Win32Error error = platform::WinHttpReadData(request.Get(), buffer.data(),
                                                     kReadBufferBytes, &read)) {
      ReportLog(*this, "WinHttpReadData failed after " + Number(received) + " bytes (Windows error " +
                           Number(error) + ").");
      return false;
    }
    if (read == 0) break;
    if (Win32Error error = file.Write(buffer.data(), read)) {
      ReportLog(*this, "Failed to write " + ToUtf8(target) + " after " + Number(received) +
                           " bytes (C runtime error " + Number(CRuntimeErrorOf(error)) + ").");
      return false;
    }
    received += read;
    if (reported == 0) continue;
    // A body longer than announced must not push the bar into the next caller's band.
    double fraction = std::min(1.0, static_cast<double>(received) / static_cast<double>(reported));
    SetProgress(band_start + (band_end - band_start) * static_cast<float>(fraction));
    std::uint64_t percent = received * 100 / reported;
    for (; next_mark <= 75 && percent >= static_cast<std::uint64_t>(next_mark); next_mark += 25) {
      ReportLog(*this, "[*] " + label + " download: " + Number(next_mark) + "%.");
    }
  }

  request.Reset();
  connection.Reset();
  session.Reset();
  const bool flushed = file.Close();
  if (flushed && received > 0 && (reported == 0 || received == reported)) {
    file.Keep();
    SetProgress(band_end);
    ReportLog(*this, "[+] " + label + " downloaded (" + Number((received + kMiB - 1) / kMiB) +
                         " MiB).");
    return true;
  }
  ReportLog(*this, "The package download was incomplete: received_bytes=" + Number(received) +
                       ", reported_bytes=" + Number(reported) + ", flushed=" +
                       (flushed ? "yes" : "no") + ".");
  return false;
}

}  // namespace vellmora
