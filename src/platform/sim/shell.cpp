#include "platform/shell.h"

#include "platform/files.h"
#include "platform/sim/faults.h"
#include "platform/sim/records.h"
#include "platform/sim/text.h"

namespace platform {

// The simulated shell starts no program: it checks the target as ShellExecuteW would and records
// the request.
Win32Error ShellExecuteOpenW(const Path& path) {
  if (Win32Error fault = sim::internal::InjectedFault("shell_execute", path)) return fault;
  Win32Error error = kErrorSuccess;
  if (GetFileAttributesW(path, &error) == kInvalidFileAttributes) {
    return error ? error : kErrorFileNotFound;
  }
  sim::internal::AppendRecord(sim::internal::kShellOpenRecord, "open|" + sim::internal::ToUtf8(path));
  return kErrorSuccess;
}

}  // namespace platform
