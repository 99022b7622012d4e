#include "windows/com_server_registration.h"

#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/system_errors.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "package/run_captured.h"
#include "platform/files.h"
#include "windows/com_class_paths.h"

namespace vellmora {
namespace {

// A regular file; false when it does not exist. Any other status failure is raised.
bool IsRegularFileOrMissing(const Path& path) {
  platform::FileStatus status;
  const platform::Win32Error error = platform::GetFileStatus(path, &status);
  if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) return false;
  if (error != platform::kErrorSuccess) throw FileSystemError("status", path, error);
  return (status.attributes & platform::kAttributeDirectory) == 0;
}

}  // namespace

bool RegisterComServers(InstallerEngine& engine, const Path& directory,
                        const std::string& product_name) {
  const Path server =
      JoinPath(directory, product_name == "Vellmora" ? kPrivateServerFile : L"KolvSVC.exe");
  const Path client = JoinPath(directory, kClientLibraryFile);
  const Path proxy = JoinPath(directory, kProxyLibraryFile);
  const Path system = System32Dir();
  const Path regsvr32 = system.empty() ? Path() : JoinPath(system, L"regsvr32.exe");
  for (const Path& file : {server, client, proxy, regsvr32}) {
    if (file.empty() || !IsRegularFileOrMissing(file)) {
      ReportLog(engine, "COM registration failed for " + product_name +
                            ": a required x64 component is missing.");
      return false;
    }
  }
  const std::pair<std::wstring, const char*> commands[] = {
      {QuoteArgument(regsvr32) + L" /s " + QuoteArgument(proxy), "KolvProxyStub.dll"},
      {QuoteArgument(regsvr32) + L" /s " + QuoteArgument(client), "KolvC.dll"},
      {QuoteArgument(server) + L" -regserver", "COM server"},
  };
  for (const auto& [command, label] : commands) {
    std::uint32_t exit_code = 0;
    if (!RunCaptured(engine, command, kComRegistrationCommandLimitMs, &exit_code) ||
        exit_code != 0) {
      ReportLog(engine, "COM registration failed for " + product_name + " " + label +
                            " (exit code " + std::to_string(exit_code) + ").");
      return false;
    }
  }
  return true;
}

}  // namespace vellmora
