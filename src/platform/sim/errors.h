#pragma once
// The Win32 error a failed host call stands for.

#include <cerrno>

#include "platform/types.h"

namespace sim::internal {

inline constexpr platform::Win32Error kErrorGenFailure = 31;
inline constexpr platform::Win32Error kErrorFilenameTooLong = 206;

inline platform::Win32Error ErrorFromErrno(int error) {
  switch (error) {
    case 0: return platform::kErrorSuccess;
    case ENOENT: return platform::kErrorFileNotFound;
    case ENOTDIR: return platform::kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return platform::kErrorAccessDenied;
    case EBADF: return platform::kErrorInvalidHandle;
    case EEXIST: return platform::kErrorAlreadyExists;
    case ENOTEMPTY: return platform::kErrorDirNotEmpty;
    case ENOSPC:
    case EDQUOT: return platform::kErrorDiskFull;
    case EXDEV: return platform::kErrorNotSameDevice;
    case EBUSY: return platform::kErrorBusy;
    case ETXTBSY: return platform::kErrorSharingViolation;
    case EINVAL: return platform::kErrorInvalidParameter;
    case ENAMETOOLONG: return kErrorFilenameTooLong;
    case ELOOP: return platform::kErrorInvalidName;
    case EIO: return platform::kErrorWriteFault;
    default: return kErrorGenFailure;
  }
}

}  // namespace sim::internal
