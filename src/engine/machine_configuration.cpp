#include "engine/machine_configuration.h"

#include <cstdio>
#include <vector>

#include "app/file_helpers.h"
#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/registry_access.h"
#include "app/system_errors.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "engine/engine_files.h"
#include "engine/host_config.h"
#include "engine/path_mapping.h"
#include "platform/locale.h"
#include "platform/system.h"
#include "windows/product_registry_key.h"

namespace vellmora {
namespace {

constexpr const char* kFailurePrefix = "Machine-specific Engine configuration: ";
constexpr const char* kProfileToken = "__OSTREVIN_USERPROFILE__";
constexpr const char* kEscapedProfileToken = "__OSTREVIN_USERPROFILE_ESCAPED__";

const std::vector<std::string> kMachineSpecificPrefixes = {
    "klv.qor_win_",
    "klv.ui_scale_factor=",
    "klv.microphone_device=",
    "klv.speaker_device=",
    "klv.media_folder=",
    "klv.status.sse4_available=",
    "klv.status.ssse3_available=",
    "klv.status.raw_mode=",
    "klv.raw_incompatible_cpu=",
    "klv.instance.Pie64.gl_win_",
    "klv.instance.Pie64.macro_win_",
    "klv.instance.Pie64.camera_",
    "klv.instance.Pie64.status.session_id=",
};

std::string InstallDate() {
  const platform::SystemTime now = platform::GetLocalTime();
  char text[32] = {};
  const int written = std::snprintf(text, sizeof text, "%02u/%02u/%04u", unsigned{now.day},
                                    unsigned{now.month}, unsigned{now.year});
  return std::string(text, FormattedLength(written, sizeof text));
}

// The file helpers fail in Windows calls, which set no C runtime error number: the number the
// line carries is the Windows error of the call that failed.
std::string CrtFailure(const char* what, const platform::Path& path, platform::Win32Error error) {
  return std::string(kFailurePrefix) + what + " " + ToUtf8(path) + " (CRT error " +
         std::to_string(error) + ").";
}

// The settings that depend on this machine's ADB port and the cloud, shared by both operations.
void SetServiceSettings(HostConfig* config, int adb_port) {
  config->SetValue("klv.pellucador_cloud_url", kCloudEndpoint);
  config->SetValue("klv.enable_adb_access", "0");
  config->SetValue("klv.enable_adb_remote_access", "0");
  config->SetValue("klv.instance.Pie64.adb_port", std::to_string(adb_port));
  config->SetValue("klv.instance.Pie64.status.adb_port", std::to_string(adb_port));
}

// The profile tokens of one machine registry file; the values are XML-escaped, since a profile
// folder may be named C:\Users\Ana&Bia.
bool FillProfileTokens(InstallerEngine& engine, const platform::Path& path) {
  std::string text;
  platform::Win32Error error = platform::kErrorSuccess;
  if (!ReadWholeFile(path, &text, &error)) {
    ReportLog(engine, CrtFailure("could not read", path, error));
    return false;
  }
  const std::string profile = ToUtf8(engine.paths.user_profile);
  ReplaceAllOccurrences(&text, kProfileToken, EscapeXml(profile));
  ReplaceAllOccurrences(&text, kEscapedProfileToken, EscapeXml(EscapeBackslashes(profile)));
  if (!ReplaceFileAtomically(path, text, &error)) {
    ReportLog(engine, CrtFailure("could not save", path, error));
    return false;
  }
  return true;
}

}  // namespace

UserLocale DetermineUserLocale() {
  UserLocale result{"en-US", "US"};
  std::wstring locale;
  if (platform::GetUserDefaultLocaleName(&locale) != platform::kErrorSuccess || locale.empty()) {
    return result;
  }
  result.locale = ToUtf8(locale);
  std::wstring country;
  if (platform::GetLocaleCountryName(locale, &country) == platform::kErrorSuccess &&
      !country.empty()) {
    result.country = ToUtf8(country);
  }
  return result;
}

bool GenerateMachineConfiguration(InstallerEngine& engine, const platform::Path& staged_data_root,
                                  std::string* machine_id, std::string* version_machine_id) {
  const std::string machine = ToUtf8(NewGuidString(false));
  const std::string version_machine = ToUtf8(NewGuidString(false));
  const std::string install = ToUtf8(NewGuidString(false));
  const std::string launcher = ToUtf8(NewGuidString(false));
  *machine_id = machine;
  *version_machine_id = version_machine;
  if (machine.empty() || version_machine.empty() || install.empty() || launcher.empty()) {
    ReportLog(engine, std::string(kFailurePrefix) +
                          "Windows could not generate one or more installation GUIDs.");
    return false;
  }

  for (const wchar_t* name : {L"Engine\\Manager\\KolvGlobal.xml",
                              L"Engine\\Manager\\KolvGlobal.xml-prev"}) {
    const platform::Path path = JoinPath(staged_data_root, name);
    if (IsPlainFile(path) && !FillProfileTokens(engine, path)) return false;
  }

  const platform::Path config_path = JoinPath(staged_data_root, L"VellmoraOX.conf");
  std::string text;
  platform::Win32Error file_error = platform::kErrorSuccess;
  if (!ReadWholeFile(config_path, &text, &file_error)) {
    ReportLog(engine, CrtFailure("could not read", config_path, file_error));
    return false;
  }
  HostConfig config(std::move(text));
  config.RemoveLinesWithPrefixes(kMachineSpecificPrefixes);
  config.ReplaceAll(kProfileToken, ToUtf8(engine.paths.user_profile));
  const UserLocale locale = DetermineUserLocale();
  config.SetValue("klv.guid", machine);
  config.SetValue("klv.machine_id", machine);
  config.SetValue("klv.install_id", install);
  config.SetValue("klv.launcher_guid", launcher);
  config.SetValue("klv.version_machine_id", version_machine);
  config.SetValue("klv.install_date", InstallDate());
  config.SetValue("klv.locale", locale.locale);
  config.SetValue("klv.country", locale.country);
  for (const char* signed_out : {"klv.pellucador_account_id", "klv.token", "klv.refresh_token",
                                 "klv.zimra_email", "klv.zimra_userId", "klv.zimra_username"}) {
    config.SetValue(signed_out, "");
  }
  SetServiceSettings(&config, engine.adb_port);
  config.SetValue("klv.instance.Pie64.display_name", "Vellmora");
  if (!ReplaceFileAtomically(config_path, config.Text(), &file_error)) {
    ReportLog(engine, CrtFailure("could not save", config_path, file_error));
    return false;
  }

  for (const wchar_t* name : {L"Logs", L"Dumps"}) {
    const platform::Path path = JoinPath(staged_data_root, name);
    const platform::Win32Error error = CreateDirectoryWithParents(path);
    if (error != platform::kErrorSuccess) {
      ReportLog(engine, std::string(kFailurePrefix) + "could not create " + ToUtf8(path) +
                            " (Windows error " + std::to_string(error) + ": " +
                            SystemErrorText(error) + ").");
      return false;
    }
  }
  ReportLog(engine, "[+] Emulator paths and files generated successfully.");
  return true;
}

bool PrepareHostConfigForStart(InstallerEngine& engine) {
  const platform::Path path = JoinPath(engine.paths.DataDir(), L"VellmoraOX.conf");
  std::string text;
  if (!ReadWholeFile(path, &text)) {
    ReportLog(engine, "Could not read VellmoraOX.conf before starting Pie64.");
    return false;
  }
  HostConfig config(text);
  SetServiceSettings(&config, engine.adb_port);
  if (text.find("__VLM_LOCALE__") != std::string::npos ||
      text.find("__VLM_COUNTRY__") != std::string::npos) {
    const UserLocale locale = DetermineUserLocale();
    config.SetValue("klv.locale", locale.locale);
    config.SetValue("klv.country", locale.country);
  }
  // A failed registry write is reported by the helper and does not stop the start.
  WriteRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"AdbPort",
                     static_cast<std::uint32_t>(engine.adb_port));
  if (config.Text() != text && !ReplaceFileAtomically(path, config.Text())) {
    ReportLog(engine, "Could not preserve the device-profile service configuration before "
                      "starting Pie64.");
    return false;
  }
  return true;
}

}  // namespace vellmora
