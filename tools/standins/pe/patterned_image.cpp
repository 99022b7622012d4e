// The Engine's other programs and libraries: valid images that carry the texts and identities
// the installer rewrites in them, and do nothing else. STANDIN_PATTERNS picks a binary's set.

#include <windows.h>

#include "identities.h"

#define USED __attribute__((used))

namespace {

// A zero byte before the version text: the rewrite wants no digit or '.' in front of it.
USED const char kEngineVersion[] = "\0" "2.22.1\0";
// The CLR user-string of the server's short name: its length byte, UTF-16 text, flag byte.
USED const unsigned char kServerUserString[] = {0x0F, 'K', 0, 'o', 0, 'l', 0, 'v', 0, 'S', 0,
                                                'V',  0,   'C', 0, 0x00};

#if STANDIN_PATTERNS == 1  // KolvRT.dll, installed as VLCore.dll: starts the server by name
USED const char kServerFile[] = "KolvSVC.exe";
USED const char16_t kServerFileWide[] = u"KolvSVC.exe";
USED const char* const kUsed[] = {kEngineVersion};
#elif STANDIN_PATTERNS == 2  // RV-Common.dll: the server's process name, and a CLR member name
USED const char kShortName[] = "\0KolvSVC";
USED const char16_t kShortNameWide[] = u"\0KolvSVC";
USED const char kMemberName[] = "\0KolvSvc";
USED const void* const kUsed[] = {kServerUserString};
#elif STANDIN_PATTERNS == 3  // VBoxCAPI.dll
USED const char kClientProgId[] = "VirtualBox.VirtualBoxClient.1";
USED const char16_t kSessionProgId[] = u"VirtualBox.Session";
USED const char* const kUsed[] = {kEngineVersion};
#elif STANDIN_PATTERNS == 4  // KolvTypeLib.dll
USED const char kTypeLibrary[] = "{0582363E-7A11-46B1-9A3C-DF675EA24589}";
USED const char kInterfaceLower[] = "ea319bdc-02c2-46e7-83d1-f6c33c03202b";
USED const char16_t kServerClassWide[] = u"{AE316C2B-C93A-4B56-93F9-696F59A5E91F}";
#elif STANDIN_PATTERNS == 5  // RV-MultiInstanceManager.exe
USED const char kMutex[] = "Global\\RvMultiInstance_kta5";
USED const char16_t kEvent[] = u"Local\\RvInstances_kta5";
USED const char kServerFile[] = "KolvSVC.exe";
#elif STANDIN_PATTERNS == 6  // KolvVMMgr.exe
USED const char16_t kServerFile[] = u"KolvSvc.exe";
USED const char kServerProgId[] = "VirtualBox.VirtualBox.1";
USED const char* const kUsed[] = {kEngineVersion};
#else  // the optional helpers: the edition tag
USED const char kTag[] = "RvHelper_kta5";
#endif

}  // namespace

#ifdef STANDIN_DLL
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#else
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
#endif
