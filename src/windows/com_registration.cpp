#include "windows/com_registration.h"

#include <vector>

#include "app/installer_engine.h"
#include "app/progress_report.h"
#include "app/registry_access.h"
#include "app/text.h"
#include "windows/com_class_paths.h"
#include "windows/com_registration_validation.h"
#include "windows/com_server_registration.h"
#include "windows/legacy_com_migration.h"
#include "windows/private_com_removal.h"
#include "windows/private_com_validation.h"
#include "windows/process_control.h"
#include "windows/product_registry_key.h"

namespace vellmora {
namespace {

// Runs on every way out of RegisterComComponents unless the registration was completed, so that
// a file-system error thrown half-way still leaves no partial registration behind.
class RollbackGuard {
 public:
  explicit RollbackGuard(InstallerEngine& engine) : engine_(engine) {}
  RollbackGuard(const RollbackGuard&) = delete;
  RollbackGuard& operator=(const RollbackGuard&) = delete;
  ~RollbackGuard() {
    if (armed_) RollbackPartialComRegistration(engine_);
  }
  void Disarm() { armed_ = false; }

 private:
  InstallerEngine& engine_;
  bool armed_ = true;
};

bool ComMarkerIsCurrent() {
  std::uint32_t version = 0;
  return ReadRegistryDword(RegistryRoot::kLocalMachine, kProductKey, kComIdentityVersionValue,
                           &version) &&
         version == kComIdentityVersion;
}

}  // namespace

bool PrepareComClassPaths(InstallerEngine& engine) {
  const Path install_dir = engine.paths.InstallDir();
  return CheckPerUserComOverrides(install_dir) &&
         WriteComClassPaths(RegistryRoot::kLocalMachine, install_dir);
}

bool RollbackPartialComRegistration(InstallerEngine& engine) {
  std::vector<std::wstring> interfaces;
  if (!RemovePrivateComRegistration(engine, &interfaces)) {
    ReportLog(engine,
              "COM rollback warning: the partial Vellmora registration could not be removed "
              "completely.");
  }
  return false;
}

bool InstallerEngine::RegisterComComponents() {
  const Path install_dir = paths.InstallDir();
  std::string error;
  if (!ValidatePrivateComIdentity(install_dir, &error)) {
    ReportLog(*this, "COM registration refused: " + error);
    return false;
  }
  StopProcessesUnder(*this, false);
  std::string migration;
  const bool migrated = MigrateLegacyComRegistration(
      install_dir,
      [this](const Path& foreign_root) {
        return RegisterComServers(*this, foreign_root, "Pellucador");
      },
      &migration);
  ReportLog(*this, migration);
  if (!migrated) return false;

  RollbackGuard rollback(*this);
  if (!PrepareComClassPaths(*this)) {
    ReportLog(*this, "COM registration failed: the Vellmora class paths could not be prepared.");
    return false;
  }
  ReportLog(*this, "[*] Registering the complete Vellmora x64 COM proxy and interfaces.");
  if (RegisterComServers(*this, install_dir, "Vellmora") && PrepareComClassPaths(*this) &&
      VerifyComRegistration(*this) &&
      WriteRegistryDword(RegistryRoot::kLocalMachine, kProductKey, kComIdentityVersionValue,
                         kComIdentityVersion)) {
    rollback.Disarm();
    ReportLog(*this, "[+] Vellmora COM server, proxy, and critical interfaces registered.");
    return true;
  }
  ReportLog(*this, "COM registration failed: one or more VirtualBox interfaces are incomplete.");
  return false;
}

bool EnsureComRegistration(InstallerEngine& engine) {
  std::string error;
  if (!ValidatePrivateComIdentity(engine.paths.InstallDir(), &error)) {
    ReportLog(engine, "COM repair refused: " + error);
    return false;
  }
  // What works is left alone: no class path is rewritten before the registration proved broken.
  if (ComMarkerIsCurrent() && VerifyComRegistration(engine)) return true;
  if (!PrepareComClassPaths(engine)) {
    ReportLog(engine,
              "COM repair refused: the Vellmora class paths could not be prepared; the existing "
              "registration was left as it is.");
    return false;
  }
  ReportLog(engine, "[*] The Vellmora COM registration is incomplete; repairing it now.");
  return engine.RegisterComComponents();
}

}  // namespace vellmora
