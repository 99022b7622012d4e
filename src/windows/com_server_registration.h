#pragma once
// The COM binaries' own registration: regsvr32 on the two libraries, then the server's
// "-regserver", each a hidden child with a time limit. The directory and the server file always
// belong to the same installation, so that restoring another edition's registration can never
// re-register this product's binaries.

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace vellmora {

class InstallerEngine;
using platform::Path;

// The time each registration command may take.
inline constexpr std::uint32_t kComRegistrationCommandLimitMs = 60000;

// Runs regsvr32 /s on directory's "KolvProxyStub.dll" and "KolvC.dll", then its server with
// " -regserver": "VLMServ.exe" for product_name "Vellmora", else that edition's own
// "KolvSVC.exe". One log line on failure. A file status that cannot be read for another reason
// than a missing file raises FileSystemError.
bool RegisterComServers(InstallerEngine& engine, const Path& directory,
                        const std::string& product_name);

}  // namespace vellmora
