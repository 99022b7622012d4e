#pragma once
// InstallerEngine: the one process-wide state that every run mode shares. It detects the existing
// installation when it is created, holds the paths every step derives its targets from, carries
// the progress, stage texts and visible log that the running operation writes and the wizard
// reads, and starts each long operation on a detached worker thread while the busy flag keeps a
// second one from starting.
//
// Threads: the wizard thread (snapshots, destination selection, starting operations), at most one
// worker, or the entry thread for command-line runs. `lock` guards `view`, the progress band and
// `chained`. `paths` and `adb_port` change only while no operation runs, so a worker reads them
// without the lock. Lock order: `lock` may be held while the installation log is written, never
// the reverse.

#include <mutex>
#include <string>

#include "app/install_paths.h"
#include "app/installation_probes.h"
#include "app/installer_snapshot.h"

namespace vellmora {

inline constexpr int kDefaultAdbPort = 5565;

class InstallerEngine {
 public:
  static InstallerEngine& Instance();

  // Detects the installation of this machine. Instance() builds the process-wide one with the
  // real probes; tests build their own and may give probes of their own.
  explicit InstallerEngine(InstallationProbes installation_probes = {});
  InstallerEngine(const InstallerEngine&) = delete;
  InstallerEngine& operator=(const InstallerEngine&) = delete;

  InstallerSnapshot TakeSnapshot();

  // Writes the operation header to the log and resets the state for a new operation.
  void BeginOperation(const std::string& title);
  // Wizard operations: each runs on a detached worker; a request while busy is ignored.
  void StartFullInstallation();
  void StartPie64Installation();
  void StartCleanup();

  // The unattended "--install-all" run on the calling thread: 0 success, 1 failure, 170 busy.
  int InstallAllBlocking();
  // The command-line diagnostics and the launcher migration; each returns its exit code.
  int RunRegistryDiagnostic(const std::string& argument);
  int RunComDiagnostic(const std::string& argument);
  int RunPie64Diagnostic(const std::string& argument);
  int MigrateDirectPlayer();

  // The destination disk, from the wizard's list or the "--install-all" argument.
  bool SelectDestination(const std::string& text);

  // Extracts "package-manifest.json" alone from the archive into validation_dir (empty: a new
  // folder beside the archive), which must lie inside the archive's folder and is removed again,
  // and matches it for kind ("engine" or "instance"). One log line on failure.
  bool ValidateArchiveManifest(const std::wstring& tool, const std::wstring& archive,
                               const std::wstring& validation_dir, const std::string& kind);

  // The operations' procedures.
  void InstallAll();
  // Downloads url to target while moving the progress through band_start..band_end; true when
  // the complete file is on disk. On false the reason is logged and no file is left at target.
  // Never finishes the operation: the caller decides what a failure means.
  bool DownloadFile(const std::wstring& url, const std::wstring& target, float band_start,
                    float band_end, const std::string& label);
  void InstallPie64V2(const std::wstring& package_path);
  void Uninstall();
  // Places staged_parent\root_name at destination as a one-root transaction; true when it is
  // installed. A missing staged root is reported only when it is required.
  bool MoveStagedRoot(const std::wstring& staged_parent, const std::wstring& root_name,
                      const std::wstring& destination, bool root_required);
  // Removes the product's obsolete driver services that prove to be this installation's, and
  // the driver file; true when both aliases are gone or harmless and the file is gone. Every
  // step runs whatever an earlier one gave; every problem is one log line.
  bool RemoveOwnedVellmoraDriverServices();
  // Registers the installed Engine's private COM server and proves it (validation and a real
  // activation), then records ComIdentityVersion = 4; a failure from the class paths on rolls
  // the private registration back completely (src/windows/com_registration.h).
  bool RegisterComComponents();
  // Starts the installed Pie64 instance in the player (the wizard's "Abrir agora" and "Concluir").
  void OpenPie64();

  void SetProgress(float fraction);
  void SetProgressRange(float start, float end);
  void SetChained(bool chained_steps);
  void MarkRestartRequired();
  // Recomputes the display texts of the destination. The caller holds `lock`.
  void RefreshDisplayPaths();
  // Re-runs the installation probes. The caller holds `lock`.
  void RefreshInstallationState();

  std::mutex lock;
  InstallerSnapshot view;
  float progress_range_start = 0.0f;
  float progress_range_end = 1.0f;
  bool chained = false;
  InstallPaths paths;
  int adb_port = kDefaultAdbPort;
  // Run under `lock`: they must not report through the engine.
  const InstallationProbes probes;

 private:
  // Shared start of the three diagnostics: the drive root check, the busy check and the header.
  // Returns 0 when the diagnostic may run, else the exit code to return.
  int BeginDiagnostic(const std::string& argument, const std::string& title);
};

}  // namespace vellmora
