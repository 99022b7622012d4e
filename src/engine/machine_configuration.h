#pragma once
// This machine's own Engine configuration: fresh identities, the install date, locale and
// country, the ADB port, a signed-out account, the cloud endpoint and the user's profile path in
// the machine registry files.

#include <string>

#include "platform/types.h"

namespace vellmora {

class InstallerEngine;

// The one cloud origin the Engine is pointed at, written by both operations below.
inline constexpr const char* kCloudEndpoint = "https://cloud.vellmora.com";

// The user's default locale name ("en-US" when Windows gives none) and its ISO 3166 country
// ("US" when Windows gives none), both UTF-8.
struct UserLocale {
  std::string locale;
  std::string country;
};
UserLocale DetermineUserLocale();

// Works on the staged ProgramData root: the profile tokens of KolvGlobal.xml and
// KolvGlobal.xml-prev (XML-escaped), then VellmoraOX.conf's machine-specific settings, then the
// Logs and Dumps folders. *machine_id and *version_machine_id are set as soon as they exist, also
// when a later step fails. One log line on failure.
bool GenerateMachineConfiguration(InstallerEngine& engine, const platform::Path& staged_data_root,
                                  std::string* machine_id, std::string* version_machine_id);

// Before Pie64 is started or registered: refreshes the live VellmoraOX.conf's cloud endpoint, ADB
// settings and (while the file still holds a locale token) the locale, writes "AdbPort", and
// rewrites the file only when its text changed.
bool PrepareHostConfigForStart(InstallerEngine& engine);

}  // namespace vellmora
