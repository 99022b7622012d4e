#include "app/crash_log.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/text.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace vellmora {
namespace {

constexpr std::uint32_t kTempPathUnits = 32768;
constexpr wchar_t kCrashLogName[] = L"Vellmora-Installer-Crash.log";
constexpr std::size_t kCrashLogNameUnits = sizeof kCrashLogName / sizeof kCrashLogName[0];
// What the C runtime's abort() exits with on Windows; a terminate ends the process the same way.
constexpr int kTerminateExitCode = 3;

// Static, not on the stack: a stack overflow leaves the filter only a few pages.
wchar_t g_record_path[kTempPathUnits + kCrashLogNameUnits];
char g_record[kCrashRecordBytes];
std::atomic<std::uint32_t> g_writer{0};  // the thread writing the record, 0 for none

// The record's path in g_record_path; false when the temporary directory is unusable.
bool ComposeRecordPath() {
  std::uint32_t length = platform::GetTempPathW(kTempPathUnits, g_record_path);
  if (length == 0 || length >= kTempPathUnits) return false;
  for (std::size_t i = 0; i < kCrashLogNameUnits; ++i) g_record_path[length + i] = kCrashLogName[i];
  return true;
}

[[noreturn]] void WriteCrashLogAndEnd() {
  WriteCrashLog(platform::ExceptionDetails{});
  std::_Exit(kTerminateExitCode);
}

}  // namespace

std::size_t FormatCrashRecord(const platform::ExceptionDetails& details, std::uint32_t process_id,
                              std::uint32_t thread_id, char* record) {
  // %p differs between C libraries; Windows prints 16 upper-case digits, so do it by hand.
  auto address = static_cast<std::uint64_t>(
      reinterpret_cast<std::uintptr_t>(details.has_record ? details.address : nullptr));
  int length = std::snprintf(record, kCrashRecordBytes,
                             "exception_code=0x%08lX\r\nexception_address=%016" PRIX64
                             "\r\nprocess_id=%lu\r\nthread_id=%lu\r\n",
                             static_cast<unsigned long>(details.has_record ? details.code : 0),
                             address, static_cast<unsigned long>(process_id),
                             static_cast<unsigned long>(thread_id));
  return FormattedLength(length, kCrashRecordBytes);
}

long WriteCrashLog(const platform::ExceptionDetails& details) {
  // One record per process: a second thread that crashes meanwhile waits for the first to end the
  // process; a crash inside the writer itself gives up at once.
  const std::uint32_t self = platform::GetCurrentThreadId();
  std::uint32_t writer = 0;
  while (!g_writer.compare_exchange_strong(writer, self)) {
    if (writer == self) return platform::kExceptionExecuteHandler;
    writer = 0;
    platform::Sleep(10);
  }
  if (!ComposeRecordPath()) return platform::kExceptionExecuteHandler;
  platform::UniqueHandle file;
  if (platform::CreateFileW(static_cast<const wchar_t*>(g_record_path), platform::kGenericWrite,
                            platform::kShareAll, platform::kCreateAlways,
                            platform::kAttributeNormal, &file) != platform::kErrorSuccess) {
    return platform::kExceptionExecuteHandler;
  }
  std::size_t length = FormatCrashRecord(details, platform::GetCurrentProcessId(),
                                         platform::GetCurrentThreadId(), g_record);
  if (length > 0) {
    std::uint32_t written = 0;
    platform::WriteFile(file.Get(), g_record, static_cast<std::uint32_t>(length), &written);
  }
  platform::FlushFileBuffers(file.Get());
  return platform::kExceptionExecuteHandler;
}

void InstallCrashHandlers() {
  platform::SetUnhandledExceptionFilter(WriteCrashLog);
  std::set_terminate(WriteCrashLogAndEnd);
}

}  // namespace vellmora
