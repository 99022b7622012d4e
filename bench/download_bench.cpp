// Times InstallerEngine::DownloadFile fetching one file from a loopback HTTPS server on a fresh
// simulated machine, and samples the process's resident memory meanwhile. bench/download runs it
// beside curl; this program only measures and prints "seconds=... rss_growth_bytes=...".
//
//   download_bench --ca CA.pem --host NAME --port N --path /x.rar --machine DIR

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "app/installer_engine.h"
#include "app/text.h"
#include "platform/sim/sim_control.h"

namespace {

long ResidentBytes() {
  std::ifstream status("/proc/self/statm");
  long pages_total = 0, pages_resident = 0;
  status >> pages_total >> pages_resident;
  return pages_resident * sysconf(_SC_PAGESIZE);
}

std::string Argument(int argc, char** argv, const std::string& name) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (argv[i] == name) return argv[i + 1];
  }
  std::fprintf(stderr, "download_bench: %s is missing\n", name.c_str());
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  std::string machine = Argument(argc, argv, "--machine");
  std::string host = Argument(argc, argv, "--host");
  std::ifstream ca_file(Argument(argc, argv, "--ca"));
  std::stringstream ca;
  ca << ca_file.rdbuf();
  if (!sim::CreateMachine(machine)) return 1;
  sim::UseMachine(machine);
  sim::AddRootCertificate(ca.str());
  sim::AddHostsEntry("127.0.0.1", host);

  vellmora::InstallerEngine engine;
  std::string url_text = "https://" + host + ":" + Argument(argc, argv, "--port") +
                         Argument(argc, argv, "--path");
  std::wstring url = vellmora::FromUtf8(url_text);
  const std::wstring target = L"C:\\Bench\\Staging\\Vellmora-Instance-Pie64.rar";

  long baseline = ResidentBytes();
  std::atomic<long> peak{baseline};
  std::atomic<bool> running{true};
  std::thread sampler([&] {
    while (running) {
      long now = ResidentBytes();
      if (now > peak) peak = now;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  auto start = std::chrono::steady_clock::now();
  bool done = engine.DownloadFile(url, target, 0.055f, 0.65f, "Pie64 instance package");
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  running = false;
  sampler.join();

  vellmora::InstallerSnapshot snapshot = engine.TakeSnapshot();
  if (!done) {
    std::fprintf(stderr, "download_bench: the download failed: %s\n",
                 snapshot.log_lines.empty() ? "" : snapshot.log_lines.back().c_str());
    return 1;
  }
  std::printf("seconds=%.3f rss_growth_bytes=%ld file=%s\n", seconds, peak - baseline,
              sim::HostPathOf(target).c_str());
  return 0;
}
