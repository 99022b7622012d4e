// "KolvC.dll": the in-process client library. DllRegisterServer and DllUnregisterServer apply or
// remove the registration block in its own file; DllGetClassObject serves the client and the
// session classes, whose objects answer IVirtualBoxClient and ISession.

#include <windows.h>

#include "engine_object.h"
#include "identities.h"
#include "self_registration.h"

namespace {
HMODULE self = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) self = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
  std::string error;
  return standins::RegisterModule(self, true, &error);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
  std::string error;
  return standins::RegisterModule(self, false, &error);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid,
                                                                          REFIID iid,
                                                                          void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  const GUID* answered = nullptr;
  if (IsEqualGUID(clsid, kClientClassId)) answered = &kClientIid;
  if (IsEqualGUID(clsid, kSessionClassId)) answered = &kSessionIid;
  if (!answered) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new standins::EngineClassFactory({answered}, nullptr);
  HRESULT result = factory->QueryInterface(iid, object);
  factory->Release();
  return result;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return standins::EngineObject::LiveObjects() == 0 ? S_OK : S_FALSE;
}
