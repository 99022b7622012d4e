#include "platform/sim/virtualization_tools.h"

#include <cstdio>
#include <cwctype>
#include <fstream>
#include <sstream>

#include "platform/sim/machine.h"
#include "platform/sim/shared_store.h"
#include "platform/sim/sim_control.h"
#include "platform/sim/text.h"

namespace sim::internal {
namespace {

constexpr int kDismRestartRequired = 3010;
constexpr int kDismElevationRequired = 740;
constexpr int kDismInvalidArgument = 87;
constexpr int kDismUnknownFeature = static_cast<int>(0x800F080Cu);

constexpr const char* kDismBanner =
    "\r\nDeployment Image Servicing and Management tool\r\nVersion: 10.0.22621.2792\r\n\r\n";

std::string BootStorePath() { return Root() + "/boot-configuration.txt"; }

std::wstring Lower(const std::wstring& text) {
  std::wstring lower = text;
  for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return lower;
}

std::string FeatureLibraryHostPath() {
  return HostPathOf(L"C:\\Windows\\System32") + "/WinHvPlatform.dll";
}

int DismError(std::string* output, int code, const std::string& text) {
  char number[32];
  std::snprintf(number, sizeof number, code < 0 || code > 9999 ? "0x%08x" : "%d",
                static_cast<unsigned>(code));
  *output += std::string("\r\nError: ") + number + "\r\n\r\n" + text + "\r\n";
  return code;
}

}  // namespace

int RunDism(const std::vector<std::wstring>& arguments, std::string* output) {
  *output += kDismBanner;
  if (!Config()->elevated) {
    return DismError(output, kDismElevationRequired,
                     "Elevated permissions are required to run DISM.\r\n"
                     "Use an elevated command prompt to complete these tasks.");
  }
  bool online = false;
  bool enable = false;
  std::wstring feature;
  for (const std::wstring& argument : arguments) {
    const std::wstring lower = Lower(argument);
    if (lower == L"/online") {
      online = true;
    } else if (lower == L"/enable-feature") {
      enable = true;
    } else if (lower.rfind(L"/featurename:", 0) == 0) {
      feature = argument.substr(13);
    } else if (lower != L"/all" && lower != L"/norestart" && lower != L"/english") {
      return DismError(output, kDismInvalidArgument,
                       "The " + ToUtf8(argument) + " option is unknown.\r\n"
                       "For more information, refer to the help by running DISM.exe /?.");
    }
  }
  if (!online || !enable || feature.empty()) {
    return DismError(output, kDismInvalidArgument,
                     "The command line is not complete.\r\n"
                     "For more information, refer to the help by running DISM.exe /?.");
  }
  *output += "Image Version: 10.0.22631.4602\r\n\r\n";
  if (Lower(feature) != L"hypervisorplatform") {
    return DismError(output, kDismUnknownFeature,
                     "Feature name " + ToUtf8(feature) + " is unknown.\r\n"
                     "A Windows feature name was not recognized.\r\n"
                     "Use the /Get-Features option to find the name of the feature in the image "
                     "and try the command again.");
  }
  *output += "Enabling feature(s)\r\n[==========================100.0%==========================]\r\n";
  const std::string library = FeatureLibraryHostPath();
  if (std::ifstream(library).good()) {
    *output += "The operation completed successfully.\r\n";
    return 0;
  }
  std::ofstream(library, std::ios::binary) << "MZ simulated WinHvPlatform.dll\n";
  *output += "The operation completed successfully.\r\nRestart Windows to complete this operation.\r\n";
  return kDismRestartRequired;
}

int RunBcdedit(const std::vector<std::wstring>& arguments, std::string* output) {
  if (!Config()->elevated) {
    *output += "The boot configuration data store could not be opened.\r\nAccess is denied.\r\n";
    return 1;
  }
  std::vector<std::wstring> rest = arguments;
  if (rest.size() == 4 && !rest[1].empty() && rest[1][0] == L'{') rest.erase(rest.begin() + 1);
  std::wstring value = rest.size() == 3 ? Lower(rest[2]) : L"";
  if (rest.size() != 3 || Lower(rest[0]) != L"/set" || Lower(rest[1]) != L"hypervisorlaunchtype" ||
      (value != L"auto" && value != L"off")) {
    *output += "The parameter is incorrect.\r\n";
    return 1;
  }
  const std::string stored = value == L"auto" ? "Auto" : "Off";
  {
    MachineLock machine(Root());
    std::ifstream in(BootStorePath());
    std::string line, kept;
    while (std::getline(in, line)) {
      if (line.rfind("hypervisorlaunchtype ", 0) != 0) kept += line + "\n";
    }
    WriteFileAtomically(BootStorePath(), kept + "hypervisorlaunchtype " + stored + "\n");
  }
  *output += "The operation completed successfully.\r\n";
  return 0;
}

}  // namespace sim::internal

namespace sim {

std::string BootSetting(const std::string& name) {
  std::ifstream in(internal::BootStorePath());
  std::string line;
  std::string value;
  while (std::getline(in, line)) {
    if (line.rfind(name + " ", 0) == 0) value = line.substr(name.size() + 1);
  }
  return value;
}

}  // namespace sim
