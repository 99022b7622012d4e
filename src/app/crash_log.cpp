#include "app/crash_log.h"

#include <cinttypes>
#include <cstdio>

#include "app/system_helpers.h"
#include "platform/files.h"

namespace vellmora {

std::string FormatCrashRecord(const platform::ExceptionDetails& details, std::uint32_t process_id,
                              std::uint32_t thread_id) {
  // %p differs between C libraries; Windows prints 16 upper-case digits, so do it by hand.
  auto address = static_cast<std::uint64_t>(
      reinterpret_cast<std::uintptr_t>(details.has_record ? details.address : nullptr));
  char record[256];
  int length = std::snprintf(record, sizeof record,
                             "exception_code=0x%08lX\r\nexception_address=%016" PRIX64
                             "\r\nprocess_id=%lu\r\nthread_id=%lu\r\n",
                             static_cast<unsigned long>(details.has_record ? details.code : 0),
                             address, static_cast<unsigned long>(process_id),
                             static_cast<unsigned long>(thread_id));
  if (length <= 0) return {};
  return std::string(record, static_cast<std::size_t>(length) < sizeof record
                                 ? static_cast<std::size_t>(length)
                                 : sizeof record - 1);
}

long WriteCrashLog(const platform::ExceptionDetails& details) {
  platform::Path temp = TemporaryDirectory();
  if (temp.empty()) return platform::kExceptionExecuteHandler;
  platform::UniqueHandle file;
  if (platform::CreateFileW(temp + L"Vellmora-Installer-Crash.log", platform::kGenericWrite,
                            platform::kShareAll, platform::kCreateAlways,
                            platform::kAttributeNormal, &file) != platform::kErrorSuccess) {
    return platform::kExceptionExecuteHandler;
  }
  std::string record = FormatCrashRecord(details, platform::GetCurrentProcessId(),
                                         platform::GetCurrentThreadId());
  if (!record.empty()) {
    std::uint32_t written = 0;
    platform::WriteFile(file.Get(), record.data(), static_cast<std::uint32_t>(record.size()),
                        &written);
  }
  platform::FlushFileBuffers(file.Get());
  return platform::kExceptionExecuteHandler;
}

}  // namespace vellmora
