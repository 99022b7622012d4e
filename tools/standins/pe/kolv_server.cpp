// "KolvSVC.exe": the COM local server. "-regserver" and "-unregserver" apply or remove the
// registration block in its own file; started by COM it serves the server class from the binary
// CLSID in its data, answers the server interface's IID (also from its data), and exits when its
// last object is released. Built with VELLMORA_STANDIN_NO_SERVE it registers like the real one
// but exits at once when started to serve, so that activation fails as with a broken server.

#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "engine_object.h"
#include "identities.h"
#include "self_registration.h"

namespace {


bool HasSwitch(const wchar_t* name) {
  for (int i = 1; i < __argc; ++i) {
    const wchar_t* argument = __wargv[i];
    if ((argument[0] == L'-' || argument[0] == L'/') && _wcsicmp(argument + 1, name) == 0)
      return true;
  }
  return false;
}

// COM starts the server with "-Embedding"; a server nobody connects to gives up after this long.
constexpr DWORD kUnusedServerMilliseconds = 60000;

#ifdef VELLMORA_STANDIN_NO_SERVE
int Serve() { return 0; }
#else
HANDLE last_object_gone = nullptr;

void SignalLastObjectGone() { SetEvent(last_object_gone); }

int Serve() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
  last_object_gone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  auto* factory = new standins::EngineClassFactory({&kVirtualBoxIid}, SignalLastObjectGone);
  DWORD cookie = 0;
  HRESULT registered = CoRegisterClassObject(kServerClassId, factory, CLSCTX_LOCAL_SERVER,
                                             REGCLS_MULTIPLEUSE, &cookie);
  factory->Release();
  if (SUCCEEDED(registered)) {
    // The event stays set once the last object went, even if that happened before the wait.
    while (WaitForSingleObject(last_object_gone, kUnusedServerMilliseconds) == WAIT_TIMEOUT &&
           standins::EngineObject::LiveObjects() > 0) {
    }
    CoRevokeClassObject(cookie);
  }
  CoUninitialize();
  return SUCCEEDED(registered) ? 0 : 1;
}
#endif

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const bool install = HasSwitch(L"regserver");
  if (install || HasSwitch(L"unregserver")) {
    std::string error;
    if (SUCCEEDED(standins::RegisterModule(nullptr, install, &error))) return 0;
    std::fprintf(stderr, "KolvSVC: %s\n", error.c_str());
    return 1;
  }
  return Serve();
}
