// vellmora-package-check engine|instance ARCHIVE
// Exit code 0: the installer would accept the package; 1: it would reject it; 2: bad usage.
// The native build runs the check on a scratch simulated machine that holds a copy of the archive
// (the Linux 7-Zip stands in for the embedded one); the Windows build runs it on this machine.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/text.h"
#include "package_check/package_check.h"

#if VELLMORA_PLATFORM_SIM
#include <random>

#include "platform/sim/sim_control.h"
#endif

namespace {

using vellmora::package_check::kBadUsage;
using vellmora::package_check::kRejected;

int Usage(const char* problem) {
  std::fprintf(stderr,
               "vellmora-package-check: %s\n"
               "usage: vellmora-package-check engine|instance ARCHIVE\n"
               "  exit code 0: the installer would accept the package, 1: it would reject it,\n"
               "  2: bad usage\n",
               problem);
  return kBadUsage;
}

#if VELLMORA_PLATFORM_SIM
// A fresh machine in a temporary folder, removed again with everything in it.
class ScratchMachine {
 public:
  ScratchMachine() {
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) return;
    std::random_device random;
    std::filesystem::path root = base / ("vellmora-package-check-" + std::to_string(random()));
    if (!std::filesystem::create_directory(root, error) || error) return;
    root_ = root;
    if (!sim::CreateMachine(root_.string())) return;
    sim::UseMachine(root_.string());
    ready_ = true;
  }
  ~ScratchMachine() {
    std::error_code ignored;
    if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
  }
  bool Ready() const { return ready_; }

  // The archive, hard-linked (or copied) into the machine's C:\Packages.
  std::wstring Place(const std::filesystem::path& archive) {
    const std::wstring windows = L"C:\\Packages\\" + archive.filename().wstring();
    const std::filesystem::path host = sim::HostPathOf(L"C:\\");
    std::error_code error;
    std::filesystem::create_directories(host / "Packages", error);
    const std::filesystem::path placed = host / "Packages" / archive.filename();
    std::filesystem::create_hard_link(archive, placed, error);
    if (error) std::filesystem::copy_file(archive, placed, error);
    return error ? std::wstring() : windows;
  }

 private:
  std::filesystem::path root_;
  bool ready_ = false;
};
#endif

int Run(const std::string& kind, const std::filesystem::path& archive_argument) {
  if (kind != "engine" && kind != "instance") return Usage("the package kind is engine or instance");
  std::error_code error;
  std::filesystem::path archive = std::filesystem::absolute(archive_argument, error);
  if (error || !std::filesystem::is_regular_file(archive, error)) {
    return Usage("the archive is not a readable file");
  }
#if VELLMORA_PLATFORM_SIM
  ScratchMachine machine;
  if (!machine.Ready()) {
    std::fprintf(stderr, "vellmora-package-check: no scratch machine could be made\n");
    return kRejected;
  }
  std::wstring placed = machine.Place(archive);
  if (placed.empty()) {
    std::fprintf(stderr, "vellmora-package-check: the archive could not be placed on the machine\n");
    return kRejected;
  }
#else
  std::wstring placed = archive.wstring();
#endif
  std::string lines;
  int verdict = vellmora::package_check::CheckPackage(kind, placed, &lines);
  std::fwrite(lines.data(), 1, lines.size(), stdout);
  return verdict;
}

}  // namespace

#if VELLMORA_PLATFORM_SIM
int main(int argc, char** argv) {
  if (argc != 3) return Usage("a package kind and an archive are needed");
  return Run(argv[1], std::filesystem::path(argv[2]));
}
#else
int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return Usage("a package kind and an archive are needed");
  return Run(vellmora::ToUtf8(argv[1]), std::filesystem::path(argv[2]));
}
#endif
