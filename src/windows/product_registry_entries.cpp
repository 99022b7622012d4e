#include "windows/product_registry_entries.h"

#include <cstdint>
#include <vector>

#include "app/build_info.h"
#include "app/file_helpers.h"
#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/registry_access.h"
#include "app/text.h"
#include "package/package_locations.h"
#include "windows/installer_copy.h"
#include "windows/product_registry_key.h"

namespace vellmora {
namespace {

constexpr const wchar_t* kDisplayVersion = L"3.9.1.0 P64";

// One write or delete of a value; each reports its own refusal through the registry helpers.
struct RegistryStep {
  enum class Kind { kString, kDword, kDelete };
  Kind kind;
  const wchar_t* name;
  std::wstring text;
  std::uint32_t number = 0;
};

RegistryStep String(const wchar_t* name, std::wstring text) {
  return {RegistryStep::Kind::kString, name, std::move(text)};
}
RegistryStep Dword(const wchar_t* name, std::uint32_t number) {
  return {RegistryStep::Kind::kDword, name, {}, number};
}
RegistryStep Delete(const wchar_t* name) { return {RegistryStep::Kind::kDelete, name, {}}; }

// Runs every step, also after a refused one; true when all of them succeeded.
bool RunSteps(RegistryRoot root, const wchar_t* key, const std::vector<RegistryStep>& steps) {
  bool all = true;
  for (const RegistryStep& step : steps) {
    bool done = false;
    switch (step.kind) {
      case RegistryStep::Kind::kString:
        done = WriteRegistryString(root, key, step.name, step.text);
        break;
      case RegistryStep::Kind::kDword:
        done = WriteRegistryDword(root, key, step.name, step.number);
        break;
      case RegistryStep::Kind::kDelete:
        done = DeleteRegistryValue(root, key, step.name);
        break;
    }
    all = done && all;
  }
  return all;
}

// Windows lists the product among the installed programs only with an uninstall command: the
// quoted path of a private copy of this installer, which opens the wizard with its uninstall.
// The copy an earlier pass made goes once the entry names the new one.
bool WriteUninstallString(InstallerEngine& engine) {
  std::wstring earlier;
  ReadRegistryString(RegistryRoot::kLocalMachine, kUninstallKey, L"UninstallString", &earlier);
  const platform::Path copy = CopyInstallerForUninstall(engine);
  if (copy.empty()) return false;
  if (!WriteRegistryString(RegistryRoot::kLocalMachine, kUninstallKey, L"UninstallString",
                           QuoteArgument(copy))) {
    RemoveDirectoryTree(ParentPath(copy));
    return false;
  }
  RemoveEarlierInstallerCopy(engine, earlier, copy);
  return true;
}

}  // namespace

bool WriteProductRegistryEntries(InstallerEngine& engine, const std::wstring& machine_id,
                                 const std::wstring& version_machine_id,
                                 const std::wstring& local_app_data_dir) {
  const std::wstring install_dir_text = engine.paths.InstallDir() + L"\\";
  const std::wstring data_dir = engine.paths.DataDir();
  const std::wstring release = FromUtf8(kPackageRelease);
  const std::wstring icon_text = JoinPath(engine.paths.InstallDir(), L"Vellmora.exe") + L",0";

  const std::vector<RegistryStep> product_values = {
      String(L"ProductName", L"Vellmora"),
      String(L"InstallDir", install_dir_text),
      String(L"DataDir", data_dir),
      String(L"LocalAppDataDir", local_app_data_dir),
      String(L"RuntimeDir", install_dir_text),
      String(L"EngineTag", L"_ovm5"),
      String(L"ProtectedCoreTag", L"_kta5"),
      String(L"PackageReleaseVersion", release),
      String(L"DisplayVersion", kDisplayVersion),
      String(L"EnginePackageUrl", kEnginePackageUrl),
      String(L"InstancePackageUrl", kInstancePackageUrl),
      String(L"InstallationScope", L"VellmoraOnly"),
      String(L"VirtualizationBackend", L"WHPX"),
      Delete(L"DriverService"),
      Delete(L"DriverImage"),
      String(L"MachineID", machine_id),
      String(L"VersionMachineID", version_machine_id),
      Dword(L"AdbPort", static_cast<std::uint32_t>(engine.adb_port)),
  };
  const std::vector<RegistryStep> engine_namespace_values = {
      String(L"LogDir", data_dir + L"\\Logs\\"),
      String(L"DataDir", data_dir + L"\\Engine\\"),
      String(L"InstallDir", install_dir_text),
      String(L"UserDefinedDir", data_dir),
      String(L"USER_GUID", machine_id),
      String(L"Version", kDisplayVersion),
      String(L"CampaignJson", L""),
      Dword(L"IsUpgrade", 0),
  };
  const std::vector<RegistryStep> uninstall_values = {
      String(L"DisplayName", L"Vellmora"),
      String(L"DisplayVersion", kDisplayVersion),
      String(L"Publisher", L"Vellmora"),
      String(L"InstallLocation", install_dir_text),
      String(L"DisplayIcon", icon_text),
      Dword(L"NoModify", 1),
      Dword(L"NoRepair", 1),
  };

  constexpr RegistryRoot kRoots[] = {RegistryRoot::kLocalMachine, RegistryRoot::kCurrentUser};
  bool all = true;
  for (RegistryRoot root : kRoots) all = RunSteps(root, kProductKey, product_values) && all;
  for (RegistryRoot root : kRoots) {
    all = RunSteps(root, kEngineNamespaceKey, engine_namespace_values) && all;
  }
  all = WriteRegistryString(RegistryRoot::kCurrentUser, kEngineNamespaceKey, L"MiCampaignJson",
                            L"{}") &&
        all;
  all = RunSteps(RegistryRoot::kLocalMachine, kUninstallKey, uninstall_values) && all;
  all = WriteUninstallString(engine) && all;

  ReportLog(engine, all ? "[+] Independent Vellmora registry entries were created"
                        : "[-] Failed to create the independent Vellmora registry entries.");
  return all;
}

}  // namespace vellmora
