#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "platform/security.h"

namespace platform {

Win32Error GetTokenElevation(bool* elevated) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return ::GetLastError();
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  Win32Error error = kErrorSuccess;
  if (::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) {
    *elevated = elevation.TokenIsElevated != 0;
  } else {
    error = ::GetLastError();
  }
  ::CloseHandle(token);
  return error;
}

Win32Error EnableTokenPrivilege(const std::wstring& privilege_name) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    return ::GetLastError();
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  Win32Error error = kErrorSuccess;
  if (!::LookupPrivilegeValueW(nullptr, privilege_name.c_str(), &privileges.Privileges[0].Luid)) {
    error = ::GetLastError();
  } else {
    // AdjustTokenPrivileges succeeds for a privilege the token lacks; only the last error says so.
    ::SetLastError(ERROR_SUCCESS);
    BOOL adjusted = ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    error = ::GetLastError();
    if (!adjusted && error == kErrorSuccess) error = ERROR_ACCESS_DENIED;
  }
  ::CloseHandle(token);
  return error;
}

}  // namespace platform

namespace platform {
namespace {

// A security descriptor converted from SDDL, freed with LocalFree.
class ConvertedDescriptor {
 public:
  explicit ConvertedDescriptor(const std::wstring& sddl) {
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                &descriptor_, nullptr)) {
      descriptor_ = nullptr;
    }
  }
  ~ConvertedDescriptor() {
    if (descriptor_) ::LocalFree(descriptor_);
  }
  ConvertedDescriptor(const ConvertedDescriptor&) = delete;
  ConvertedDescriptor& operator=(const ConvertedDescriptor&) = delete;
  PSECURITY_DESCRIPTOR Get() const { return descriptor_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

}  // namespace

Win32Error CreateDirectoryWithSecurityW(const Path& path, const std::wstring& sddl) {
  ConvertedDescriptor descriptor(sddl);
  if (!descriptor.Get()) return kErrorInvalidParameter;
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = descriptor.Get();
  return ::CreateDirectoryW(path.c_str(), &attributes) ? kErrorSuccess : ::GetLastError();
}

Win32Error GetOwnerSid(RawHandle object, std::wstring* owner_sid) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error = ::GetSecurityInfo(reinterpret_cast<HANDLE>(object), SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                                  &descriptor);
  if (error != ERROR_SUCCESS) return error;
  wchar_t* text = nullptr;
  if (!owner || !::ConvertSidToStringSidW(owner, &text)) {
    error = owner ? ::GetLastError() : ERROR_INVALID_OWNER;
  } else {
    owner_sid->assign(text);
    ::LocalFree(text);
  }
  ::LocalFree(descriptor);
  return error;
}

Win32Error GetSecuritySddl(RawHandle object, std::wstring* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD error = ::GetSecurityInfo(reinterpret_cast<HANDLE>(object), SE_FILE_OBJECT, what, nullptr,
                                  nullptr, nullptr, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) return error;
  wchar_t* text = nullptr;
  if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, what,
                                                             &text, nullptr)) {
    sddl->assign(text);
    ::LocalFree(text);
  } else {
    error = ::GetLastError();
  }
  ::LocalFree(descriptor);
  return error;
}

Win32Error SetSecuritySddl(RawHandle object, const std::wstring& sddl) {
  ConvertedDescriptor descriptor(sddl);
  if (!descriptor.Get()) return kErrorInvalidParameter;
  PSID owner = nullptr;
  BOOL owner_defaulted = FALSE;
  BOOL dacl_present = FALSE;
  BOOL dacl_defaulted = FALSE;
  PACL dacl = nullptr;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!::GetSecurityDescriptorOwner(descriptor.Get(), &owner, &owner_defaulted) ||
      !::GetSecurityDescriptorDacl(descriptor.Get(), &dacl_present, &dacl, &dacl_defaulted) ||
      !::GetSecurityDescriptorControl(descriptor.Get(), &control, &revision)) {
    return ::GetLastError();
  }
  SECURITY_INFORMATION what = 0;
  if (owner) what |= OWNER_SECURITY_INFORMATION;
  if (dacl_present) {
    what |= DACL_SECURITY_INFORMATION;
    what |= (control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                          : UNPROTECTED_DACL_SECURITY_INFORMATION;
  }
  return ::SetSecurityInfo(reinterpret_cast<HANDLE>(object), SE_FILE_OBJECT, what, owner, nullptr,
                           dacl_present ? dacl : nullptr, nullptr);
}

}  // namespace platform
