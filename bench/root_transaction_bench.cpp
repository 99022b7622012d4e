// The three-root Engine transaction over 20,000 files against plain renames of the same trees,
// in the same run. The transaction's own work (the audit walks, the bookkeeping) must stay small
// beside what moving the trees costs anyway; the walk is what a plain rename does not do, so the
// report also shows a bare walk of the same trees.
//
//   root_transaction_bench [files]     (default 20000; the simulated machine or the real one)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "placement/engine_roots.h"
#include "platform/files.h"
#include "support/test_machine.h"

namespace {

using vellmora::JoinPath;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void WriteTree(const platform::Path& root, int files) {
  vellmora::testing::MakeTestDirectories(root);
  const int per_directory = 100;
  for (int i = 0; i < files; ++i) {
    platform::Path directory = JoinPath(root, L"d" + std::to_wstring(i / per_directory));
    if (i % per_directory == 0) vellmora::testing::MakeTestDirectories(directory);
    vellmora::testing::WriteTestFile(JoinPath(directory, L"f" + std::to_wstring(i) + L".bin"),
                                     "payload " + std::to_string(i));
  }
}

std::size_t Walk(const platform::Path& root) {
  std::vector<platform::DirectoryEntry> entries;
  if (platform::ListDirectory(root, &entries) != 0) return 0;
  std::size_t count = entries.size();
  for (const auto& entry : entries) {
    if (entry.status.attributes & platform::kAttributeDirectory) count += Walk(JoinPath(root, entry.name));
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 20000;
  vellmora::testing::TestMachine machine;
  vellmora::InstallerEngine engine;
  engine.paths.install_base = machine.In(L"D");
  engine.paths.data_base = machine.In(L"D\\ProgramData");
  engine.paths.local_app_data = machine.In(L"Local");
  const platform::Path destinations[] = {engine.paths.InstallDir(), engine.paths.DataDir(),
                                         JoinPath(engine.paths.local_app_data, L"DO-Rarari_ovm5")};
  const platform::Path extraction = machine.In(L"extract");
  const platform::Path sources[] = {JoinPath(extraction, L"payload\\ProgramFiles\\Vellmora"),
                                    JoinPath(extraction, L"payload\\ProgramData\\Vellmora"),
                                    JoinPath(extraction, L"payload\\LocalAppData\\DO-Rarari_vlm5")};
  const int per_root = files / 3;
  auto build = [&] {
    for (int root = 0; root < 3; ++root) {
      vellmora::testing::RemoveTestTree(sources[root]);
      vellmora::testing::RemoveTestTree(destinations[root]);
      WriteTree(sources[root], per_root);
      WriteTree(destinations[root], per_root);
    }
  };

  // Baseline: what any replacement of three trees costs, two renames per root.
  build();
  Clock::time_point start = Clock::now();
  for (int root = 0; root < 3; ++root) {
    platform::MoveFileExW(destinations[root], destinations[root] + L".old", 0);
    platform::MoveFileExW(sources[root], destinations[root], 0);
  }
  const double renames = Seconds(start);
  start = Clock::now();
  std::size_t walked = 0;
  for (const auto& destination : destinations) walked += Walk(destination);
  const double walk = Seconds(start);
  for (const auto& destination : destinations) {
    vellmora::testing::RemoveTestTree(destination + L".old");
  }

  build();
  start = Clock::now();
  double transaction = 0;
  double commit = 0;
  {
    vellmora::EngineRoots roots(engine);
    std::string message;
    bool restart = false;
    if (!roots.Prepare(extraction, &message) || !roots.PreserveAll(&message, &restart) ||
        !roots.ActivateAll(&message, &restart)) {
      std::fprintf(stderr, "transaction failed: %s\n", message.c_str());
      return 1;
    }
    roots.ReportValidated();
    roots.MarkCommitted();
    transaction = Seconds(start);
    start = Clock::now();
    roots.Commit();  // deletes two of the three old trees
    commit = Seconds(start);
  }
  std::printf("files per run: %d (%zu entries walked)\n", per_root * 3, walked);
  std::printf("plain renames (3 roots x 2):        %8.3f s\n", renames);
  std::printf("bare walk of the three trees:       %8.3f s\n", walk);
  std::printf("transaction up to the commit point: %8.3f s\n", transaction);
  std::printf("commit (two old trees deleted):     %8.3f s\n", commit);
  std::printf("transaction / (renames + one walk): %8.2f\n", transaction / (renames + walk));
  std::printf("transaction / renames:              %8.2f\n", transaction / renames);
  return 0;
}
