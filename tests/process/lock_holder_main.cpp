// A test-only program that takes the machine operation lock like an installer process would.
//   lock_holder hold <marker path> <milliseconds>
//       takes the lock, creates the marker file, waits, and exits without releasing it (the
//       mutex is then abandoned); exit code 0, or 1 when the lock could not be taken.
//   lock_holder hold-closed <marker path> <milliseconds>
//       the same, but closes its handle of the mutex (without releasing it) before the marker
//   lock_holder try <milliseconds>
//       exit code 0 when the lock was taken within the time, 1 otherwise.

#include <cstdlib>
#include <string>

#include "app/machine_operation_lock.h"
#include "app/text.h"
#include "platform/files.h"
#include "platform/sync.h"
#include "platform/system.h"

namespace {

int Hold(const std::wstring& marker, std::uint32_t milliseconds) {
  static vellmora::MachineOperationLock lock;  // never released: the process just ends
  if (!lock.Acquire(vellmora::kMachineLockTimeoutMs)) return 1;
  platform::UniqueHandle file;
  platform::CreateFileW(marker, platform::kGenericWrite, platform::kShareAll,
                        platform::kCreateAlways, platform::kAttributeNormal, &file);
  file.Reset();
  platform::Sleep(milliseconds);
  std::_Exit(0);
}

int HoldClosed(const std::wstring& marker, std::uint32_t milliseconds) {
  platform::UniqueHandle mutex;
  if (platform::CreateMutexW(vellmora::kMachineLockName, vellmora::kMachineLockSddl, &mutex) !=
          platform::kErrorSuccess ||
      platform::WaitForSingleObject(mutex.Get(), vellmora::kMachineLockTimeoutMs) !=
          platform::kWaitObject0) {
    return 1;
  }
  mutex.Reset();
  platform::UniqueHandle file;
  platform::CreateFileW(marker, platform::kGenericWrite, platform::kShareAll,
                        platform::kCreateAlways, platform::kAttributeNormal, &file);
  file.Reset();
  platform::Sleep(milliseconds);
  std::_Exit(0);
}

int Try(std::uint32_t milliseconds) {
  vellmora::MachineOperationLock lock;
  return lock.Acquire(milliseconds) ? 0 : 1;
}

int Run(const std::wstring& command_line) {
  std::wstring line = vellmora::TrimWhitespace(command_line);
  std::size_t space = line.find(L' ');
  std::wstring verb = line.substr(0, space);
  std::wstring rest = space == std::wstring::npos ? L"" : line.substr(space + 1);
  if (verb == L"hold" || verb == L"hold-closed") {
    std::size_t split = rest.rfind(L' ');
    if (split == std::wstring::npos) return 2;
    auto milliseconds =
        static_cast<std::uint32_t>(std::wcstoul(rest.c_str() + split + 1, nullptr, 10));
    return verb == L"hold" ? Hold(rest.substr(0, split), milliseconds)
                           : HoldClosed(rest.substr(0, split), milliseconds);
  }
  if (verb == L"try") {
    return Try(static_cast<std::uint32_t>(std::wcstoul(rest.c_str(), nullptr, 10)));
  }
  return 2;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::wstring line;
  for (int i = 1; i < argc; ++i) line += std::wstring(i > 1 ? L" " : L"") + argv[i];
  return Run(line);
}
#else
int main(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) line += std::string(i > 1 ? " " : "") + argv[i];
  return Run(vellmora::FromUtf8(line));
}
#endif
