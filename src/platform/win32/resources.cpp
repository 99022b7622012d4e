#include <windows.h>

#include "platform/resources.h"

namespace platform {

Win32Error LoadOwnResource(std::uint32_t type, std::uint32_t id, const void** data,
                           std::uint32_t* size) {
  *data = nullptr;
  *size = 0;
  HMODULE module = ::GetModuleHandleW(nullptr);
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
  if (!found) return ::GetLastError();
  HGLOBAL loaded = ::LoadResource(module, found);
  if (!loaded) return ::GetLastError();
  const void* bytes = ::LockResource(loaded);
  if (!bytes) return ERROR_RESOURCE_DATA_NOT_FOUND;
  *data = bytes;
  *size = ::SizeofResource(module, found);
  return kErrorSuccess;
}

}  // namespace platform
