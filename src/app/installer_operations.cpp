// Starting operations: the wizard's three buttons on a detached worker, and the unattended full
// installation on the calling thread. A procedure reports its own end with ReportFinish; an
// exception that escapes it is turned into a failed finish here, so that the wizard never waits
// for an operation that is gone.

#include <exception>
#include <functional>
#include <string>
#include <thread>

#include "app/installer_engine.h"
#include "app/progress_report.h"

namespace vellmora {
namespace {

struct OperationSpec {
  const char* title;
  const char* exception_prefix;  // null: the procedure handles its own failures
  const char* fallback_text;
};

constexpr OperationSpec kFullInstallation = {"Preparing the complete Vellmora installation",
                                             "Unexpected installation error: ",
                                             "Unexpected installation error."};
constexpr OperationSpec kPie64Installation = {"Preparing Pie64", "Unexpected Pie64 error: ",
                                              "Unexpected Pie64 error."};
constexpr OperationSpec kCleanup = {"Preparing Vellmora cleanup", nullptr, nullptr};

void RunGuarded(InstallerEngine& engine, const OperationSpec& spec,
                const std::function<void()>& procedure) {
  if (spec.exception_prefix == nullptr) {
    procedure();
    return;
  }
  try {
    procedure();
  } catch (const std::exception& error) {
    ReportFinish(engine, false, std::string(spec.exception_prefix) + error.what());
  } catch (...) {
    ReportFinish(engine, false, spec.fallback_text);
  }
}

void StartOnWorker(InstallerEngine& engine, const OperationSpec& spec,
                   std::function<void()> procedure) {
  {
    std::lock_guard<std::mutex> guard(engine.lock);
    if (engine.view.busy) return;
  }
  engine.BeginOperation(spec.title);
  try {
    std::thread worker([&engine, &spec, procedure = std::move(procedure)] {
      RunGuarded(engine, spec, procedure);
    });
    worker.detach();
  } catch (const std::exception& error) {
    // Without a worker nobody would ever clear the busy flag that BeginOperation set.
    ReportFinish(engine, false, std::string("The operation could not be started: ") + error.what());
  }
}

}  // namespace

void InstallerEngine::StartFullInstallation() {
  StartOnWorker(*this, kFullInstallation, [this] { InstallAll(); });
}

void InstallerEngine::StartPie64Installation() {
  StartOnWorker(*this, kPie64Installation, [this] { InstallPie64V2(std::wstring()); });
}

void InstallerEngine::StartCleanup() {
  StartOnWorker(*this, kCleanup, [this] { Uninstall(); });
}

int InstallerEngine::InstallAllBlocking() {
  {
    std::lock_guard<std::mutex> guard(lock);
    if (view.busy) return 170;
  }
  BeginOperation(kFullInstallation.title);
  RunGuarded(*this, kFullInstallation, [this] { InstallAll(); });
  return TakeSnapshot().last_succeeded ? 0 : 1;
}

}  // namespace vellmora
