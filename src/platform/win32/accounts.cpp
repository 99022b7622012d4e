#include <windows.h>
#include <lm.h>
#include <sddl.h>

#include <memory>

#include "platform/accounts.h"
#include "platform/win32/system_library.h"

namespace platform {
namespace {

// A SID that Windows allocated, freed with LocalFree.
struct LocalFreeDeleter {
  void operator()(void* memory) const { ::LocalFree(memory); }
};

Sid CopyOf(PSID sid) {
  const auto* first = static_cast<const std::uint8_t*>(sid);
  return Sid{std::vector<std::uint8_t>(first, first + ::GetLengthSid(sid))};
}

// The caller's bytes as a SID Windows accepts; null when they are not one.
PSID View(const Sid& sid) {
  PSID view = const_cast<std::uint8_t*>(sid.bytes.data());
  if (sid.bytes.size() < 8 || !::IsValidSid(view) || ::GetLengthSid(view) != sid.bytes.size()) {
    return nullptr;
  }
  return view;
}

}  // namespace

Win32Error ConvertStringSidToSidW(const std::wstring& text, Sid* sid) {
  PSID converted = nullptr;
  if (!::ConvertStringSidToSidW(text.c_str(), &converted)) return ::GetLastError();
  std::unique_ptr<void, LocalFreeDeleter> owned(converted);
  *sid = CopyOf(converted);
  return kErrorSuccess;
}

Win32Error ConvertSidToStringSidW(const Sid& sid, std::wstring* text) {
  PSID view = View(sid);
  if (!view) return kErrorInvalidSid;
  LPWSTR converted = nullptr;
  if (!::ConvertSidToStringSidW(view, &converted)) return ::GetLastError();
  std::unique_ptr<void, LocalFreeDeleter> owned(converted);
  *text = converted;
  return kErrorSuccess;
}

Win32Error GetTokenUser(Sid* user) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return ::GetLastError();
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  Win32Error error = kErrorSuccess;
  std::vector<std::uint8_t> buffer(size);
  if (size == 0 ||
      !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    error = ::GetLastError();
    if (error == kErrorSuccess) error = kErrorInsufficientBuffer;
  } else {
    *user = CopyOf(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
  }
  ::CloseHandle(token);
  return error;
}

Win32Error CheckTokenMembership(const Sid& group, bool* is_member) {
  PSID view = View(group);
  if (!view) return kErrorInvalidSid;
  BOOL member = FALSE;
  if (!::CheckTokenMembership(nullptr, view, &member)) return ::GetLastError();
  *is_member = member != FALSE;
  return kErrorSuccess;
}

Win32Error LookupAccountSidW(const Sid& sid, std::wstring* name, std::wstring* domain) {
  PSID view = View(sid);
  if (!view) return kErrorInvalidSid;
  DWORD name_size = 0;
  DWORD domain_size = 0;
  SID_NAME_USE use = SidTypeUnknown;
  if (::LookupAccountSidW(nullptr, view, nullptr, &name_size, nullptr, &domain_size, &use)) {
    return kErrorInvalidParameter;  // an answer that needs no buffer cannot be
  }
  Win32Error error = ::GetLastError();
  if (error != kErrorInsufficientBuffer) return error;
  std::wstring name_buffer(name_size, L'\0');
  std::wstring domain_buffer(domain_size, L'\0');
  if (!::LookupAccountSidW(nullptr, view, name_buffer.data(), &name_size, domain_buffer.data(),
                           &domain_size, &use)) {
    return ::GetLastError();
  }
  // The second call reports the lengths without their terminators.
  name_buffer.resize(name_size);
  domain_buffer.resize(domain_size);
  *name = std::move(name_buffer);
  *domain = std::move(domain_buffer);
  return kErrorSuccess;
}

Win32Error NetLocalGroupAddMembers(const std::wstring& group_name, const Sid& member) {
  PSID view = View(member);
  if (!view) return kErrorInvalidSid;
  // netapi32 is not a known DLL.
  auto add = win32::SystemFunction<decltype(&::NetLocalGroupAddMembers)>(
      L"netapi32.dll", "NetLocalGroupAddMembers");
  if (!add) {
    const Win32Error error = ::GetLastError();
    return error != kErrorSuccess ? error : kErrorNotSupported;
  }
  LOCALGROUP_MEMBERS_INFO_0 entry{};
  entry.lgrmi0_sid = view;
  return add(nullptr, group_name.c_str(), 0, reinterpret_cast<LPBYTE>(&entry), 1);
}

}  // namespace platform
