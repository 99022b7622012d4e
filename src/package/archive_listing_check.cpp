#include "package/archive_listing_check.h"

#include <string>

#include "app/install_log.h"
#include "app/path_helpers.h"
#include "app/text.h"
#include "package/archive_listing_scan.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "platform/system.h"

namespace vellmora {
namespace {

constexpr std::uint32_t kTerminatedExitCode = 1460;
constexpr std::uint32_t kUnreadableExitCode = 31;
constexpr std::uint32_t kTerminationWaitMs = 5000;
constexpr std::uint32_t kReadChunk = 1u << 20;

std::string WindowsError(platform::Win32Error error) { return std::to_string(error); }

// The child's output file: shared for reading and deletion only, inheritable, and deleted by the
// system when the last handle closes, so that it vanishes with the check whatever happens.
platform::Win32Error CreateListingFile(const platform::Path& archive, platform::UniqueHandle* file) {
  const platform::Path path =
      JoinPath(ParentPath(archive), L"Vellmora-archive-list-" +
                                        std::to_wstring(platform::GetTickCount64()) + L".tmp");
  platform::Win32Error error = platform::CreateFileW(
      path, platform::kGenericRead | platform::kGenericWrite,
      platform::kShareRead | platform::kShareDelete, platform::kCreateAlways,
      platform::kAttributeTemporary | platform::kFlagDeleteOnClose, file);
  if (error != platform::kErrorSuccess) return error;
  return platform::SetHandleInformation(file->Get(), platform::kHandleFlagInherit,
                                        platform::kHandleFlagInherit);
}

struct ListingRun {
  platform::Win32Error start_error = platform::kErrorSuccess;
  std::uint32_t wait = platform::kWaitFailed;
  std::uint32_t exit_code = kUnreadableExitCode;
};

ListingRun RunListing(const platform::Path& tool, const platform::Path& archive,
                      platform::RawHandle output) {
  ListingRun run;
  platform::UniqueHandle input;
  if (platform::CreateFileW(L"NUL", platform::kGenericRead,
                            platform::kShareRead | platform::kShareWrite, platform::kOpenExisting,
                            platform::kAttributeNormal, &input) == platform::kErrorSuccess) {
    platform::SetHandleInformation(input.Get(), platform::kHandleFlagInherit,
                                   platform::kHandleFlagInherit);
  }
  platform::StartupInfo startup;
  startup.use_show_window = true;
  startup.show_window = platform::kSwHide;
  startup.use_std_handles = true;
  startup.std_input = input.Valid() ? input.Get() : platform::kNoHandle;
  startup.std_output = output;
  startup.std_error = output;
  platform::ProcessInformation child;
  run.start_error = platform::CreateProcessW(ArchiveListingCommandLine(tool, archive), true,
                                             platform::kCreateNoWindow, startup, &child);
  input.Reset();
  if (run.start_error != platform::kErrorSuccess) return run;

  run.wait = platform::WaitForSingleObject(child.process.Get(), kListingTimeLimitMs);
  if (run.wait == platform::kWaitTimeout) {
    platform::TerminateProcess(child.process.Get(), kTerminatedExitCode);
    platform::WaitForSingleObject(child.process.Get(), kTerminationWaitMs);
  }
  if (platform::GetExitCodeProcess(child.process.Get(), &run.exit_code) != platform::kErrorSuccess) {
    run.exit_code = kUnreadableExitCode;
  }
  return run;
}

// The whole listing, or the reason it could not be had.
bool ReadListing(platform::RawHandle file, std::string* listing, std::string* reason) {
  platform::FlushFileBuffers(file);
  std::uint64_t size = 0;
  if (platform::GetFileSizeEx(file, &size) != platform::kErrorSuccess || size > kMaxListingBytes) {
    *reason = "7-Zip listing size is unavailable or exceeds 64 MiB";
    return false;
  }
  platform::Win32Error error = platform::SetFilePointerEx(file, 0, platform::kFileBegin);
  if (error != platform::kErrorSuccess) {
    *reason = "7-Zip listing could not be rewound; Windows error " + WindowsError(error);
    return false;
  }
  listing->assign(size, '\0');
  std::uint64_t done = 0;
  while (done < size) {
    std::uint64_t left = size - done;
    std::uint32_t got = 0;
    if (platform::ReadFile(file, listing->data() + done,
                           static_cast<std::uint32_t>(left < kReadChunk ? left : kReadChunk),
                           &got) != platform::kErrorSuccess ||
        got == 0) {
      break;
    }
    done += got;
  }
  if (done < size) {
    *reason = "7-Zip listing could not be read completely";
    return false;
  }
  return true;
}

}  // namespace

std::wstring ArchiveListingCommandLine(const platform::Path& tool, const platform::Path& archive) {
  return QuoteArgument(tool) + L" l -slt -sns " + QuoteArgument(archive) +
         L" -bsp0 -bb0 -bd -sccUTF-8";
}

bool ReportArchiveLayoutFailure(const platform::Path& archive, const std::string& reason) {
  WriteDiagnostic("ARCHIVE LAYOUT FAILURE: " + reason + " | archive=" + ToUtf8(archive));
  return false;
}

bool CheckArchiveListing(const platform::Path& tool, const platform::Path& archive,
                         const std::vector<std::string>& required_markers,
                         const std::vector<std::string>& allowed_roots) {
  std::string listing;
  {
    platform::UniqueHandle file;
    platform::Win32Error error = CreateListingFile(archive, &file);
    if (error != platform::kErrorSuccess) {
      return ReportArchiveLayoutFailure(
          archive, "listing file could not be created; Windows error " + WindowsError(error));
    }
    ListingRun run = RunListing(tool, archive, file.Get());
    if (run.start_error != platform::kErrorSuccess) {
      return ReportArchiveLayoutFailure(
          archive, "7-Zip listing could not start; Windows error " + WindowsError(run.start_error));
    }
    if (run.wait != platform::kWaitObject0 || run.exit_code != 0) {
      return ReportArchiveLayoutFailure(archive, "7-Zip listing did not complete; wait=" +
                                                     std::to_string(run.wait) +
                                                     ", exit=" + std::to_string(run.exit_code));
    }
    std::string reason;
    if (!ReadListing(file.Get(), &listing, &reason)) return ReportArchiveLayoutFailure(archive, reason);
  }
  std::string reason;
  if (!ScanArchiveListing(listing, required_markers, allowed_roots, &reason)) {
    return ReportArchiveLayoutFailure(archive, reason);
  }
  return true;
}

}  // namespace vellmora
