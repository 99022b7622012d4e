#include <objbase.h>
#include <windows.h>

#include <cstring>

#include "platform/com_activation.h"

namespace platform {
namespace {

GUID ToGuid(const Guid& guid) {
  GUID native;
  native.Data1 = guid.data1;
  native.Data2 = guid.data2;
  native.Data3 = guid.data3;
  std::memcpy(native.Data4, guid.data4, sizeof native.Data4);
  return native;
}

}  // namespace

template <>
void OwnedHandle<ComInterfaceKind>::Close() {
  if (handle_ != 0) reinterpret_cast<IUnknown*>(handle_)->Release();
  handle_ = 0;
}

HResult CoInitializeEx(std::uint32_t coinit) {
  return static_cast<HResult>(::CoInitializeEx(nullptr, coinit));
}

void CoUninitialize() { ::CoUninitialize(); }

HResult CoCreateInstance(const Guid& clsid, std::uint32_t context, const Guid& iid,
                         ComInterface* object) {
  GUID native_clsid = ToGuid(clsid);
  GUID native_iid = ToGuid(iid);
  void* pointer = nullptr;
  HRESULT result =
      ::CoCreateInstance(native_clsid, nullptr, context, native_iid, &pointer);
  if (SUCCEEDED(result) && pointer) object->Adopt(reinterpret_cast<std::intptr_t>(pointer));
  return static_cast<HResult>(result);
}

}  // namespace platform
