#include "package/run_captured.h"

#include "app/system_helpers.h"
#include "app/text.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/sync.h"

namespace vellmora {
namespace {

constexpr std::uint32_t kNotStartedExitCode = 31;
constexpr std::uint32_t kUnreadableExitCode = 1;
constexpr std::uint32_t kTerminationWaitMs = 5000;
constexpr std::uint32_t kReadChunk = 4096;
constexpr std::uint32_t kAttributeTemporary = 0x100;

// The child's standard handles: a temporary file that outlives nothing but the call.
class CaptureFile {
 public:
  ~CaptureFile() { Discard(); }

  platform::Win32Error Open() {
    Path directory = TemporaryDirectory();
    if (directory.empty()) return platform::kErrorPathNotFound;
    platform::Win32Error error = platform::GetTempFileNameW(directory, L"VLA", &path_);
    if (error != platform::kErrorSuccess) return error;
    error = platform::CreateFileW(path_, platform::kGenericRead | platform::kGenericWrite,
                                  platform::kShareAll, platform::kCreateAlways, kAttributeTemporary,
                                  &file_);
    if (error == platform::kErrorSuccess) {
      error = platform::SetHandleInformation(file_.Get(), platform::kHandleFlagInherit,
                                             platform::kHandleFlagInherit);
    }
    return error;
  }

  platform::RawHandle Get() const { return file_.Get(); }

  std::string ReadAll() {
    platform::FlushFileBuffers(file_.Get());
    std::string bytes;
    if (platform::SetFilePointerEx(file_.Get(), 0, platform::kFileBegin) !=
        platform::kErrorSuccess) {
      return bytes;
    }
    char chunk[kReadChunk];
    for (;;) {
      std::uint32_t got = 0;
      if (platform::ReadFile(file_.Get(), chunk, kReadChunk, &got) != platform::kErrorSuccess ||
          got == 0) {
        break;
      }
      bytes.append(chunk, got);
    }
    return bytes;
  }

  void Discard() {
    file_.Reset();
    if (!path_.empty()) platform::DeleteFileW(path_);
    path_.clear();
  }

 private:
  Path path_;
  platform::UniqueHandle file_;
};

std::string FromOemCodePage(const std::string& bytes) {
  std::wstring text;
  if (platform::OemToWide(bytes, &text) != platform::kErrorSuccess) return bytes;
  return ToUtf8(text);
}

}  // namespace

bool RunCaptured(InstallerEngine& /*engine*/, const std::wstring& command_line,
                 std::uint32_t time_limit_ms, std::uint32_t* exit_code, std::string* output,
                 platform::Win32Error* windows_error) {
  platform::Win32Error ignored_error = 0;
  platform::Win32Error& error = windows_error ? *windows_error : ignored_error;
  *exit_code = kNotStartedExitCode;
  error = platform::kErrorSuccess;
  if (output) output->clear();

  CaptureFile capture;
  if (output) {
    error = capture.Open();
    if (error != platform::kErrorSuccess) return false;
  }

  platform::StartupInfo startup;
  startup.use_show_window = true;
  startup.show_window = platform::kSwHide;
  if (output) {
    startup.use_std_handles = true;
    startup.std_input = startup.std_output = startup.std_error = capture.Get();
  }
  platform::ProcessInformation child;
  error = platform::CreateProcessW(command_line, output != nullptr, platform::kCreateNoWindow,
                                   startup, &child);
  if (error != platform::kErrorSuccess) return false;

  std::uint32_t wait = platform::WaitForSingleObject(child.process.Get(), time_limit_ms);
  if (wait == platform::kWaitTimeout) {
    platform::TerminateProcess(child.process.Get(), kTimedOutExitCode);
    platform::WaitForSingleObject(child.process.Get(), kTerminationWaitMs);
  }
  if (platform::GetExitCodeProcess(child.process.Get(), exit_code) != platform::kErrorSuccess) {
    *exit_code = kUnreadableExitCode;
  }
  child.thread.Reset();
  child.process.Reset();

  if (output) *output = FromOemCodePage(capture.ReadAll());
  capture.Discard();

  if (wait != platform::kWaitObject0) {
    error =
        wait == platform::kWaitTimeout ? platform::kErrorTimeout : platform::kErrorInvalidHandle;
    return false;
  }
  return true;
}

}  // namespace vellmora
