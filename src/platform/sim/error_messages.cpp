#include "platform/error_messages.h"

namespace platform {

// The messages of the codes the sim reports, as an English Windows words them.
std::wstring FormatMessageW(Win32Error code) {
  switch (code) {
    case kErrorSuccess:
      return L"The operation completed successfully.";
    case kErrorFileNotFound:
      return L"The system cannot find the file specified.";
    case kErrorPathNotFound:
      return L"The system cannot find the path specified.";
    case kErrorAccessDenied:
      return L"Access is denied.";
    case kErrorInvalidHandle:
      return L"The handle is invalid.";
    case kErrorSharingViolation:
      return L"The process cannot access the file because it is being used by another process.";
    case kErrorFileExists:
      return L"The file exists.";
    case kErrorInvalidParameter:
      return L"The parameter is incorrect.";
    case kErrorDiskFull:
      return L"There is not enough space on the disk.";
    case kErrorInvalidName:
      return L"The filename, directory name, or volume label syntax is incorrect.";
    case kErrorDirNotEmpty:
      return L"The directory is not empty.";
    case kErrorAlreadyExists:
      return L"Cannot create a file when that file already exists.";
    case kErrorDirectory:
      return L"The directory name is invalid.";
    case kErrorTimeout:
      return L"This operation returned because the timeout period expired.";
    default:
      return L"Unknown error " + std::to_wstring(code) + L".";
  }
}

}  // namespace platform
