#include "app/install_log.h"

#include <cstdio>

#include "app/path_helpers.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/system.h"

namespace vellmora {
namespace {

constexpr const wchar_t* kLogFileName = L"Vellmora-Instalacao.txt";

// The log is opened append-only; a link planted at its place is opened itself, never followed.
bool AppendToFile(const platform::Path& path, const std::string& bytes) {
  if (path.empty()) return false;
  platform::UniqueHandle file;
  if (platform::CreateFileW(path, platform::kFileAppendData, platform::kShareAll,
                            platform::kOpenAlways,
                            platform::kFlagOpenReparsePoint | platform::kAttributeNormal,
                            &file) != platform::kErrorSuccess) {
    return false;
  }
  std::uint32_t written = 0;
  if (!bytes.empty() &&
      (platform::WriteFile(file.Get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                           &written) != platform::kErrorSuccess ||
       written != bytes.size())) {
    return false;
  }
  return platform::FlushFileBuffers(file.Get()) == platform::kErrorSuccess;
}

bool EnsureRealDirectory(const platform::Path& path) {
  platform::CreateDirectoryW(path);
  std::uint32_t attributes = platform::GetFileAttributesW(path);
  return attributes != platform::kInvalidFileAttributes &&
         (attributes & platform::kAttributeDirectory) != 0 &&
         (attributes & platform::kAttributeReparsePoint) == 0;
}

platform::Path FallbackLocation() {
  platform::Path temp = TemporaryDirectory();
  return temp.empty() ? platform::Path() : temp + kLogFileName;
}

std::string LinePrefix() {
  platform::SystemTime now = platform::GetLocalTime();
  char prefix[96];
  int length = std::snprintf(prefix, sizeof prefix, "[%04u-%02u-%02u %02u:%02u:%02u.%03u pid=%lu] ",
                             now.year, now.month, now.day, now.hour, now.minute, now.second,
                             now.milliseconds,
                             static_cast<unsigned long>(platform::GetCurrentProcessId()));
  return std::string(prefix, FormattedLength(length, sizeof prefix));
}

}  // namespace

InstallLog& InstallLog::Instance() {
  // Never destroyed: threads may still log while the process exits.
  static InstallLog* log = new InstallLog();
  return *log;
}

platform::Path InstallLog::ResolveLocation() {
  platform::Path program_data;
  if (platform::SHGetKnownFolderPath(platform::KnownFolder::kProgramData, false, &program_data) ==
          platform::kErrorSuccess &&
      !program_data.empty()) {
    platform::Path installer = JoinPath(program_data, L"Vellmora-Installer");
    platform::Path logs = JoinPath(installer, L"Logs");
    platform::Path file = JoinPath(logs, kLogFileName);
    if (EnsureRealDirectory(installer) && EnsureRealDirectory(logs) && AppendToFile(file, {})) {
      return file;
    }
  }
  platform::Path fallback = FallbackLocation();
  if (AppendToFile(fallback, {})) return fallback;
  return {};
}

void InstallLog::Write(const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  if (path_.empty()) path_ = ResolveLocation();
  std::string prefix = LinePrefix();
  if (prefix.empty()) return;
  std::string line = prefix + text + "\r\n";
  if (AppendToFile(path_, line)) return;
  platform::Path fallback = FallbackLocation();
  if (!fallback.empty() && PathKey(fallback) != PathKey(path_) && AppendToFile(fallback, line)) {
    path_ = fallback;
    return;
  }
  platform::OutputDebugStringA("Vellmora diagnostic log write failed: " + text + "\n");
}

platform::Path InstallLog::CurrentPath() {
  std::lock_guard<std::mutex> guard(lock_);
  if (path_.empty()) path_ = ResolveLocation();
  return path_;
}

void InstallLog::ForgetLocation() {
  std::lock_guard<std::mutex> guard(lock_);
  path_.clear();
}

void WriteDiagnostic(const std::string& text) { InstallLog::Instance().Write(text); }

}  // namespace vellmora
