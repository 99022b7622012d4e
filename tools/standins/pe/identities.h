#pragma once
// The binary COM identities the stand-ins use. They live in their own translation unit so that
// the compiler cannot fold them into instructions: the installer rewrites them in the image's
// data, and the code must see what the rewrite left there.

#include <windows.h>
#include <objbase.h>

extern "C" {
extern const GUID kServerClassId;     // the VirtualBox server class
extern const GUID kClientClassId;     // the VirtualBoxClient class
extern const GUID kSessionClassId;    // the Session class
extern const GUID kProxyClassId;      // the proxy/stub class
extern const GUID kVirtualBoxIid;     // IVirtualBox
extern const GUID kClientIid;         // IVirtualBoxClient
extern const GUID kSessionIid;        // ISession
}
