#pragma once
// Proof that the private COM registration is complete: sixteen checks of the installed files and
// of the registry, every one evaluated and each failure logged on its own line, then a real
// activation of the private server.

#include <cstddef>
#include <string>
#include <vector>

#include "app/registry_access.h"
#include "platform/types.h"

namespace vellmora {

class InstallerEngine;
using platform::Path;

// The interface keys ("Interface\{IID}" below HKEY_CLASSES_ROOT, else with "SOFTWARE\Classes\"
// before it) whose ProxyStubClsid32 names the private proxy class, in view. A missing Interface key
// is an empty list; false when the key or its enumeration fails otherwise.
bool ListInterfacesWithPrivateProxy(RegistryRoot root, std::uint32_t view,
                                    std::vector<std::wstring>* keys);

// The sixteen checks on the binaries in directory; "COM validation failed: <label>." for each
// failing one. A registry check passes only when HKLM holds the expected text, HKCU holds no key or
// the same text, and HKEY_CLASSES_ROOT reads the same, so that what COM resolves is what was
// written.
bool ValidateComRegistration(InstallerEngine& engine, const Path& directory,
                             std::size_t minimum_interfaces);
// ValidateComRegistration of the install directory with every interface of the proxy, and only
// when that passed, TestPrivateComActivation.
bool VerifyComRegistration(InstallerEngine& engine);

}  // namespace vellmora
