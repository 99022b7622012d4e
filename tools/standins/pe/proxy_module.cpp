// "KolvProxyStub.dll" around widl's proxy code: DllMain and the self-registration from the
// registration block. widl's dlldata gives DllGetClassObject and DllCanUnloadNow, serving the
// proxy class from the binary CLSID in the data.

#include <windows.h>

#include "self_registration.h"

extern "C" HINSTANCE hProxyDll;
HINSTANCE hProxyDll = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    hProxyDll = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  std::string error;
  return standins::RegisterModule(hProxyDll, true, &error);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  std::string error;
  return standins::RegisterModule(hProxyDll, false, &error);
}
