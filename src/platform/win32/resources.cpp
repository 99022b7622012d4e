#include <windows.h>

#include "platform/resources.h"

namespace platform {

Win32Error LoadRcDataResource(int id, const unsigned char** data, std::size_t* size) {
  HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!found) return ::GetLastError();
  HGLOBAL loaded = ::LoadResource(nullptr, found);
  if (!loaded) return ::GetLastError();
  const void* bytes = ::LockResource(loaded);
  DWORD length = ::SizeofResource(nullptr, found);
  if (!bytes || length == 0) return ERROR_RESOURCE_DATA_NOT_FOUND;
  *data = static_cast<const unsigned char*>(bytes);
  *size = length;
  return kErrorSuccess;
}

}  // namespace platform
