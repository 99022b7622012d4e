#pragma once
// Shared vocabulary of the platform seam: paths, error codes and handles in Windows terms.
// Every operation of the seam returns a Win32Error (0 on success) unless it cannot fail.

#include <cstdint>
#include <string>

namespace platform {

using Path = std::wstring;
using Win32Error = std::uint32_t;

// Win32 error codes the seam reports (their Windows values).
inline constexpr Win32Error kErrorSuccess = 0;
inline constexpr Win32Error kErrorFileNotFound = 2;
inline constexpr Win32Error kErrorPathNotFound = 3;
inline constexpr Win32Error kErrorAccessDenied = 5;
inline constexpr Win32Error kErrorInvalidHandle = 6;
inline constexpr Win32Error kErrorNotSameDevice = 17;
inline constexpr Win32Error kErrorNoMoreFiles = 18;
inline constexpr Win32Error kErrorWriteFault = 29;
inline constexpr Win32Error kErrorReadFault = 30;
inline constexpr Win32Error kErrorSharingViolation = 32;
inline constexpr Win32Error kErrorLockViolation = 33;
inline constexpr Win32Error kErrorNotSupported = 50;
inline constexpr Win32Error kErrorFileExists = 80;
inline constexpr Win32Error kErrorInvalidParameter = 87;
inline constexpr Win32Error kErrorBrokenPipe = 109;
inline constexpr Win32Error kErrorDiskFull = 112;
inline constexpr Win32Error kErrorInsufficientBuffer = 122;
inline constexpr Win32Error kErrorInvalidName = 123;
inline constexpr Win32Error kErrorNegativeSeek = 131;
inline constexpr Win32Error kErrorDirNotEmpty = 145;
inline constexpr Win32Error kErrorBadPathname = 161;
inline constexpr Win32Error kErrorBusy = 170;
inline constexpr Win32Error kErrorAlreadyExists = 183;
inline constexpr Win32Error kErrorBadExeFormat = 193;
inline constexpr Win32Error kErrorEnvvarNotFound = 203;
inline constexpr Win32Error kErrorMoreData = 234;
inline constexpr Win32Error kErrorNoMoreItems = 259;
inline constexpr Win32Error kErrorDirectory = 267;
inline constexpr Win32Error kErrorNotOwner = 288;
inline constexpr Win32Error kErrorKeyDeleted = 1018;
inline constexpr Win32Error kErrorInvalidServiceControl = 1052;
inline constexpr Win32Error kErrorServiceDoesNotExist = 1060;
inline constexpr Win32Error kErrorServiceCannotAcceptControl = 1061;
inline constexpr Win32Error kErrorServiceNotActive = 1062;
inline constexpr Win32Error kErrorServiceMarkedForDelete = 1072;
inline constexpr Win32Error kErrorServiceExists = 1073;
inline constexpr Win32Error kErrorRetry = 1237;
inline constexpr Win32Error kErrorNotAllAssigned = 1300;
inline constexpr Win32Error kErrorInvalidOwner = 1307;
inline constexpr Win32Error kErrorNoSuchPrivilege = 1313;
inline constexpr Win32Error kErrorPrivilegeNotHeld = 1314;
inline constexpr Win32Error kErrorTimeout = 1460;
inline constexpr Win32Error kErrorResourceTypeNotFound = 1813;
inline constexpr Win32Error kErrorResourceNameNotFound = 1814;
inline constexpr Win32Error kErrorNotAReparsePoint = 4390;
inline constexpr Win32Error kErrorReparsePointEncountered = 4395;

// An opaque kernel handle (a HANDLE on Windows). 0 and -1 are both "no handle", as they are for
// the Windows functions that return one or the other on failure.
using RawHandle = std::intptr_t;
inline constexpr RawHandle kNoHandle = -1;

Win32Error CloseHandle(RawHandle handle);

// Owns one handle and closes it when it goes out of scope.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(RawHandle handle) : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ~UniqueHandle() { Reset(); }

  RawHandle Get() const { return handle_; }
  bool Valid() const { return handle_ != kNoHandle && handle_ != 0; }
  RawHandle Release() {
    RawHandle handle = handle_;
    handle_ = kNoHandle;
    return handle;
  }
  void Reset(RawHandle handle = kNoHandle) {
    if (Valid()) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  RawHandle handle_ = kNoHandle;
};

// Owns one handle of a kind with a close function of its own (an HKEY, an SC_HANDLE); Close
// runs when it goes out of scope. Each platform defines Close for each kind.
template <typename Kind>
class OwnedHandle {
 public:
  OwnedHandle() = default;
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = 0; }
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.handle_;
      other.handle_ = 0;
    }
    return *this;
  }
  ~OwnedHandle() { Close(); }

  bool IsOpen() const { return handle_ != 0; }
  std::intptr_t Get() const { return handle_; }
  void Adopt(std::intptr_t handle) {
    Close();
    handle_ = handle;
  }
  void Close();

 private:
  std::intptr_t handle_ = 0;
};

}  // namespace platform
