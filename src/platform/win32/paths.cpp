#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <vector>

#include "platform/paths.h"
#include "platform/win32/hresult.h"

namespace platform {
namespace {

// Calls that fill a buffer and answer a too-small one with the size they need (terminating zero
// included), as GetFullPathNameW, GetTempPathW and GetEnvironmentVariableW do. fill returns that
// length, or 0 on failure with the last error set.
template <typename Fill>
Win32Error FillGrowing(Fill fill, std::wstring* value) {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    DWORD length = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      Win32Error error = ::GetLastError();
      if (error != ERROR_SUCCESS) return error;
      value->clear();
      return kErrorSuccess;
    }
    if (length < buffer.size()) {
      value->assign(buffer.data(), length);
      return kErrorSuccess;
    }
    buffer.resize(length + 1);
  }
}

const KNOWNFOLDERID& FolderId(KnownFolder folder) {
  switch (folder) {
    case KnownFolder::kProgramData: return FOLDERID_ProgramData;
    case KnownFolder::kLocalAppData: return FOLDERID_LocalAppData;
    case KnownFolder::kProfile: return FOLDERID_Profile;
    case KnownFolder::kDesktop: return FOLDERID_Desktop;
    case KnownFolder::kPrograms: return FOLDERID_Programs;
  }
  return FOLDERID_ProgramData;
}

}  // namespace

Win32Error GetFullPathNameW(const Path& path, Path* full_path) {
  Path result;
  Win32Error error = FillGrowing(
      [&](wchar_t* buffer, DWORD size) {
        return ::GetFullPathNameW(path.c_str(), size, buffer, nullptr);
      },
      &result);
  if (error != kErrorSuccess) return error;
  // An empty answer without an error is still no path.
  if (result.empty()) return kErrorInvalidName;
  *full_path = std::move(result);
  return kErrorSuccess;
}

Path GetTempPathW() {
  Path path;
  FillGrowing([](wchar_t* buffer, DWORD size) { return ::GetTempPathW(size, buffer); }, &path);
  return path;
}

std::uint32_t GetTempPathW(std::uint32_t buffer_units, wchar_t* buffer) {
  return ::GetTempPathW(buffer_units, buffer);
}

Path GetSystemDirectoryW() {
  Path path;
  FillGrowing([](wchar_t* buffer, DWORD size) { return ::GetSystemDirectoryW(buffer, size); },
              &path);
  return path;
}

Path GetModuleFileNameW() {
  // GetModuleFileNameW truncates instead of reporting the needed size: grow until it fits.
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (;;) {
    DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return Path();
    if (length < buffer.size()) return Path(buffer.data(), length);
    if (buffer.size() >= 32768) return Path();
    buffer.resize(buffer.size() * 2);
  }
}

Path GetWindowsDirectoryA() {
  char buffer[MAX_PATH] = {};
  UINT length = ::GetWindowsDirectoryA(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return Path();
  // The ANSI form, as the font loader of the wizard has always used it; every byte is widened
  // through the ANSI code page.
  int wide = ::MultiByteToWideChar(CP_ACP, 0, buffer, static_cast<int>(length), nullptr, 0);
  if (wide <= 0) return Path();
  Path path(static_cast<std::size_t>(wide), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, buffer, static_cast<int>(length), path.data(), wide);
  return path;
}

Win32Error SHGetKnownFolderPath(KnownFolder folder, bool create, Path* path) {
  PWSTR found = nullptr;
  HRESULT result = ::SHGetKnownFolderPath(FolderId(folder), create ? DWORD{KF_FLAG_CREATE} : DWORD{0}, nullptr,
                                          &found);
  if (SUCCEEDED(result)) *path = found;
  // The buffer is the caller's to free, on failure too.
  ::CoTaskMemFree(found);
  return win32::ErrorFromHresult(result);
}

Win32Error GetEnvironmentVariableW(const std::wstring& name, std::wstring* value) {
  return FillGrowing(
      [&](wchar_t* buffer, DWORD size) {
        return ::GetEnvironmentVariableW(name.c_str(), buffer, size);
      },
      value);
}

Win32Error ExpandEnvironmentStringsW(const std::wstring& text, std::uint32_t buffer_units,
                                     std::wstring* expanded) {
  std::vector<wchar_t> buffer(buffer_units + 1);
  DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), buffer.data(), buffer_units);
  if (needed == 0) return ::GetLastError();
  if (needed > buffer_units) return kErrorInsufficientBuffer;
  expanded->assign(buffer.data());
  return kErrorSuccess;
}

Win32Error SetEnvironmentVariableW(const std::wstring& name, const std::wstring* value) {
  return ::SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr)
             ? kErrorSuccess
             : ::GetLastError();
}

}  // namespace platform
