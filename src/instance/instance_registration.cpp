#include "instance/instance_registration.h"

#include <string>
#include <vector>

#include "app/build_info.h"
#include "app/file_helpers.h"
#include "app/installation_probes.h"
#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/registry_access.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "engine/engine_files.h"
#include "instance/disk_image_checks.h"
#include "instance/guid_digits.h"
#include "instance/instance_host_config.h"
#include "instance/instance_metadata.h"
#include "instance/machine_registry.h"
#include "instance/machine_resources.h"
#include "instance/vm_definition.h"
#include "package/package_manifest.h"
#include "platform/files.h"
#include "windows/product_registry_key.h"

namespace vellmora {
namespace {

constexpr const char* kErrorPrefix = "Pie64 registration error: ";

// The definitions a registration fills, in this order, each only when it is there.
const wchar_t* const kDefinitionNames[] = {L"Pie64.kolv", L"Pie64.kolv-prev", L"Android.kolv.in"};
// The definitions that must keep both disks when the instance has a writable root disk.
const wchar_t* const kCheckedDefinitionNames[] = {L"Pie64.kolv", L"Pie64.kolv-prev",
                                                  L"Android.kolv.in", L"Pie64.kolv.template"};

struct InstanceFiles {
  platform::Path data_dir;
  platform::Path instance_dir;
  platform::Path definition;  // Pie64.kolv, whose path names the machine in the registry
  platform::Path host_config;
  platform::Path machine_registries[2];
  platform::Path instance_list;
};

InstanceFiles FilesOf(const InstallerEngine& engine) {
  InstanceFiles files;
  files.data_dir = engine.paths.DataDir();
  files.instance_dir = JoinPath(files.data_dir, L"Engine\\Pie64");
  files.definition = JoinPath(files.instance_dir, L"Pie64.kolv");
  files.host_config = JoinPath(files.data_dir, L"VellmoraOX.conf");
  const platform::Path manager = JoinPath(files.data_dir, L"Engine\\Manager");
  files.machine_registries[0] = JoinPath(manager, L"KolvGlobal.xml");
  files.machine_registries[1] = JoinPath(manager, L"KolvGlobal.xml-prev");
  files.instance_list = JoinPath(files.data_dir, L"Engine\\UserData\\VlmMetaData.json");
  return files;
}

bool Fail(InstallerEngine& engine, const std::string& detail) {
  ReportLog(engine, kErrorPrefix + detail);
  return false;
}

// The UUID the machine registry already gives the definition, from the first file that has one.
std::string RegisteredUuid(const InstanceFiles& files) {
  const std::string source = ToUtf8(files.definition);
  for (const platform::Path& registry : files.machine_registries) {
    std::string text;
    if (!ReadWholeFile(registry, &text)) continue;
    std::string uuid = RegisteredMachineUuid(text, source);
    if (!uuid.empty()) return uuid;
  }
  return {};
}

// The Pie64 machine UUID of the side-by-side edition, which this installation must never share.
std::string SideBySideEditionUuid(const InstallerEngine& engine) {
  platform::Path data_dir;
  if (!ReadRegistryString(RegistryRoot::kLocalMachine, L"SOFTWARE\\Pellucador_kta5", L"DataDir",
                          &data_dir)) {
    data_dir = JoinPath(engine.paths.data_base, L"Pellucador_kta5");
  }
  std::string text;
  if (!ReadWholeFile(JoinPath(data_dir, L"Engine\\Pie64\\Pie64.kolv"), &text)) return {};
  return ExtractMachineUuid(text);
}

// Rewrites each present definition with edit; false after the failure line.
template <typename Edit>
bool EditDefinitions(InstallerEngine& engine, const InstanceFiles& files, Edit edit) {
  for (const wchar_t* name : kDefinitionNames) {
    const platform::Path path = JoinPath(files.instance_dir, name);
    if (!IsPlainFile(path)) continue;
    std::string text;
    if (!ReadWholeFile(path, &text)) return Fail(engine, "could not read " + ToUtf8(path) + ".");
    edit(&text);
    if (!ReplaceFileAtomically(path, text)) {
      return Fail(engine, "could not save " + ToUtf8(path) + ".");
    }
  }
  return true;
}

// A new GUID's hexadecimal digits without hyphens, the first 16: the guest's Android id.
std::string NewAndroidId() { return NewGuidDigits().substr(0, 16); }

bool RecordInHostConfig(InstallerEngine& engine, const InstanceFiles& files,
                        const MachineResources& resources, bool reset) {
  InstanceHostValues values;
  values.adb_port = engine.adb_port;
  values.cpu_cores = resources.cpu_cores;
  values.memory_mib = resources.memory_mib;
  values.physical_memory_mib = resources.physical_memory_mib;
  values.screen_width = resources.screen_width;
  values.screen_height = resources.screen_height;
  values.android_id = NewAndroidId();
  values.advertising_id = ToUtf8(NewGuidString(false));
  const std::string path = ToUtf8(files.host_config);
  std::string text;
  if (!ReadWholeFile(files.host_config, &text)) return Fail(engine, "could not open " + path + ".");
  std::string detail;
  if (!RecordInstanceInHostConfig(&text, values, reset, &detail)) return Fail(engine, detail);
  if (!ReplaceFileAtomically(files.host_config, text)) {
    return Fail(engine, "could not save " + path + ".");
  }
  return true;
}

bool EnterInMachineRegistries(InstallerEngine& engine, const InstanceFiles& files,
                              const std::string& uuid) {
  const std::string source = ToUtf8(files.definition);
  for (const platform::Path& registry : files.machine_registries) {
    const std::string path = ToUtf8(registry);
    platform::FileStatus status;
    const platform::Win32Error error = platform::GetFileStatus(registry, &status);
    if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) continue;
    if (error != platform::kErrorSuccess) return Fail(engine, "could not read " + path + ".");
    if ((status.attributes &
         (platform::kAttributeDirectory | platform::kAttributeReparsePoint)) != 0) {
      continue;
    }
    std::string text;
    if (!ReadWholeFile(registry, &text)) return Fail(engine, "could not read " + path + ".");
    std::string detail;
    if (!EnterMachine(&text, uuid, source, path, &detail)) return Fail(engine, detail);
    if (!ReplaceFileAtomically(registry, text)) return Fail(engine, "could not save " + path + ".");
  }
  return true;
}

bool ListInstance(InstallerEngine& engine, const InstanceFiles& files) {
  const std::string path = ToUtf8(files.instance_list);
  std::string text;
  if (!ReadWholeFile(files.instance_list, &text)) {
    return Fail(engine, "could not read " + path + ".");
  }
  switch (AddPie64ToInstanceList(&text)) {
    case MetadataEdit::kAlreadyListed:
      return true;
    case MetadataEdit::kNoArray:
      return Fail(engine, "the Organization array was not found in " + path + ".");
    case MetadataEdit::kAdded:
      break;
  }
  if (!ReplaceFileAtomically(files.instance_list, text)) {
    return Fail(engine, "could not save " + path + ".");
  }
  return true;
}

bool ReadableContains(const platform::Path& path, const std::string& fragment) {
  std::string text;
  return ReadWholeFile(path, &text) && text.find(fragment) != std::string::npos;
}

bool HasSize(const platform::Path& path) {
  platform::FileStatus status;
  return platform::GetFileStatus(path, &status) == platform::kErrorSuccess && status.size > 0;
}

}  // namespace

bool RegisterPie64Instance(InstallerEngine& engine, bool reset, const RegistrationSteps& steps) {
  const InstanceFiles files = FilesOf(engine);
  if (!steps.configure_backend(engine, files.data_dir)) {
    return Fail(engine, "virtualization mode could not be configured.");
  }
  VmDefinitionValues values;
  values.machine_uuid = RegisteredUuid(files);
  const std::string side_by_side = SideBySideEditionUuid(engine);
  if (values.machine_uuid.empty() ||
      (!side_by_side.empty() && EqualsIgnoringCase(side_by_side, values.machine_uuid))) {
    values.machine_uuid = ToUtf8(NewGuidString(true));
    if (values.machine_uuid.empty()) {
      return Fail(engine, "a virtual-machine UUID could not be generated.");
    }
  }
  values.install_dir = ToUtf8(engine.paths.InstallDir());
  values.vdes_service_dll = ToUtf8(JoinPath(engine.paths.InstallDir(), L"RV-Vdes-Service.dll"));
  if (!EditDefinitions(engine, files,
                       [&](std::string* text) { ApplyMachineIdentity(text, values); })) {
    return false;
  }
  const MachineResources resources = MeasureMachineResources();
  values.cpu_cores = resources.cpu_cores;
  values.memory_mib = resources.memory_mib;
  values.mac_address = NewMacAddress();
  if (values.mac_address.empty()) {
    return Fail(engine, "a virtual-machine MAC address could not be generated.");
  }
  if (!EditDefinitions(engine, files,
                       [&](std::string* text) { ApplyMachineTokens(text, values); })) {
    return false;
  }
  if (!RecordInHostConfig(engine, files, resources, reset) ||
      !EnterInMachineRegistries(engine, files, values.machine_uuid) ||
      !ListInstance(engine, files)) {
    return false;
  }
  if (!steps.install_boot_promotion(engine)) {
    return Fail(engine, "the Pie64 instance resources could not be installed.");
  }
  ReportLog(engine, "Pie64 registered with this computer's GUID, CPU, RAM, and resolution.");
  return true;
}

bool IsPie64InstanceComplete(const InstallerEngine& engine) {
  if (!engine.paths.IsValid()) return false;
  std::wstring release;
  if (!ReadRegistryString(RegistryRoot::kLocalMachine, kProductKey, L"PackageReleaseVersion",
                          &release) ||
      release != WidenBytes(kPackageRelease)) {
    return false;
  }
  const InstanceFiles files = FilesOf(engine);
  const platform::Path& p = files.instance_dir;
  const platform::Path manifest = JoinPath(p, L"installed-instance-package-manifest.json");
  if (!ManifestMatches(manifest, "instance")) return false;
  for (const wchar_t* name : {L"Root.vhd", L"Data.vhdx", L"Data_orig.vhdx", L"fastboot.vdi",
                              L"Android.kolv.in", L"Pie64.kolv.template", L"Pie64.kolv"}) {
    if (!IsPlainFile(JoinPath(p, name))) return false;
  }
  const platform::Path root_disk = JoinPath(p, L"Root.vhd");
  if (!HasSize(root_disk)) return false;
  if (InstanceManifestHasRootDisk(manifest)) {
    if ((platform::GetFileAttributesW(root_disk) & platform::kAttributeReadOnly) != 0) {
      return false;
    }
    for (const wchar_t* name : kCheckedDefinitionNames) {
      if (!CheckVmDiskEntries(JoinPath(p, name))) return false;
    }
  }
  return HasSize(JoinPath(p, L"Data.vhdx"));
}

bool IsPie64Registered(const InstallerEngine& engine) {
  if (!engine.paths.IsValid() || !IsPie64InstanceComplete(engine)) return false;
  const InstanceFiles files = FilesOf(engine);
  return ReadableContains(files.host_config, "klv.instance.Pie64.") &&
         ReadableContains(files.machine_registries[0],
                          MachineSourceAttribute(ToUtf8(files.definition))) &&
         ReadableContains(files.instance_list, kPie64InstanceMarker);
}

}  // namespace vellmora
