// Path normalisation plus COM identity isolation of a 512 MiB forged Engine on a fresh simulated
// machine, against reading every byte of the same Engine once, in the same run. The sixteen COM
// binaries carry the Engine's bulk (pseudo-random data with the shared identities sprinkled
// through it), so both passes look at the same bytes.
//
//   com_isolation_bench --work DIR [--mib N]     (default 512)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/file_helpers.h"
#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "engine/engine_templates.h"
#include "engine/path_normalization.h"
#include "forge/forge.h"
#include "forge/pe_image.h"
#include "forge/proxy_image.h"
#include "platform/files.h"
#include "platform/sim/sim_control.h"
#include "windows/com_identity_catalog.h"
#include "windows/engine_com_isolation.h"
#include "windows/guid_text.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Argument(int argc, char** argv, const std::string& name, const std::string& fallback) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (argv[i] == name) return argv[i + 1];
  }
  return fallback;
}

std::string Binary(const char* text) {
  vellmora::BinaryGuid guid{};
  vellmora::ParseGuidEntry(text, &guid);
  return std::string(guid.begin(), guid.end());
}

std::string Utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

// What each binary must carry for the isolation and its validation to succeed.
std::string IdentityOf(const std::wstring& name) {
  const std::string z(1, '\0');
  if (name == L"Vellmora.exe") return Binary("470A6E9B-2049-4DC1-B901-D967E4CADF8A");
  if (name == L"KolvSVC.exe") {
    return Binary("AE316C2B-C93A-4B56-93F9-696F59A5E91F") +
           std::string("{AE316C2B-C93A-4B56-93F9-696F59A5E91F}") + z;
  }
  if (name == L"KolvC.dll") return Binary("F1C2EA8F-9FCD-43C1-A8DB-94F57A3BAE9A");
  if (name == L"VLCore.dll") return std::string("C:\\Engine\\KolvSVC.exe") + z;
  if (name == L"RV-Common.dll") {
    return z + std::string("KolvSVC") + z + std::string("KolvSvc") + z;
  }
  return Utf16("{EA319BDC-02C2-46E7-83D1-F6C33C03202B}") + z + z + std::string("_kta5") + z;
}

// Pseudo-random filler with the file's identity every 4 MiB.
std::string Filler(std::size_t bytes, const std::string& identity, std::uint64_t seed) {
  std::string data(bytes, '\0');
  std::uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
  for (std::size_t i = 0; i + 8 <= bytes; i += 8) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    for (int b = 0; b < 8; ++b) data[i + b] = static_cast<char>(state >> (8 * b));
  }
  for (std::size_t at = 4096; at + identity.size() + 2 < bytes; at += 4u << 20) {
    data[at - 1] = '\0';
    data.replace(at, identity.size(), identity);
  }
  return data;
}

// The proxy library as the Engine ships it: the 224 interfaces in the order of their original
// IIDs' bytes, the bulk and the proxy/stub class after its tables.
std::string ShippedProxy(const std::string& bulk) {
  const auto& pairs = vellmora::ComIdentityCatalog::Instance().pairs();
  std::vector<std::pair<vellmora::BinaryGuid, std::size_t>> rows;
  for (std::size_t i = 6; i < pairs.size(); ++i) rows.emplace_back(pairs[i].original, i);
  std::sort(rows.begin(), rows.end());
  forge::ProxyImageOptions options;
  for (const auto& [iid, position] : rows) {
    options.iids.emplace_back(iid.begin(), iid.end());
    options.names.push_back(position == 59    ? "IVirtualBoxClient"
                            : position == 113 ? "ISession"
                            : position == 214 ? "IVirtualBox"
                                              : "IInterface" + std::to_string(position));
  }
  options.extra_data = Binary("F3265CBC-288B-4670-9518-1A0B4A58192F") + bulk;
  return forge::MakeProxyImage(options);
}

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::uint64_t ReadEverything(const std::filesystem::path& root) {
  std::uint64_t total = 0;
  std::vector<char> buffer(1 << 20);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
      total += static_cast<std::uint64_t>(in.gcount());
    }
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path work = Argument(argc, argv, "--work", "");
  const std::uint64_t mib = std::strtoull(Argument(argc, argv, "--mib", "512").c_str(), nullptr, 10);
  if (work.empty()) {
    std::fprintf(stderr, "usage: com_isolation_bench --work DIR [--mib N]\n");
    return 2;
  }
  const std::string machine = (work / "machine").string();
  if (!sim::CreateMachine(machine)) return 1;
  sim::UseMachine(machine);

  vellmora::InstallerEngine engine;
  engine.paths.install_base = L"D:\\";
  engine.paths.data_base = L"D:\\ProgramData";
  engine.paths.user_profile = L"C:\\Users\\ana";
  const std::filesystem::path stage = sim::HostPathOf(L"C:\\Stage");
  forge::PackageOptions options;
  options.payload_bytes = 1 << 20;
  std::string error;
  if (!forge::LayOutPackageTree(options, stage, &error)) {
    std::fprintf(stderr, "forge: %s\n", error.c_str());
    return 1;
  }
  const std::filesystem::path pf = stage / "payload" / "ProgramFiles" / "Vellmora";
  const std::size_t per_file = static_cast<std::size_t>((mib << 20) / std::size(vellmora::kEngineComBinaries));
  std::uint64_t seed = 1;
  for (const vellmora::EngineComBinary& binary : vellmora::kEngineComBinaries) {
    forge::PeImageOptions pe;
    const std::wstring name = binary.name;
    pe.dll = name.ends_with(L".dll");
    pe.file_name = std::filesystem::path(name).string();
    pe.read_only_data = Filler(per_file, IdentityOf(name), seed++);
    std::ofstream(pf / name, std::ios::binary)
        << (name == L"KolvProxyStub.dll" ? ShippedProxy(pe.read_only_data)
                                         : forge::MakePeImage(pe));
  }

  ReadEverything(stage);  // the page cache holds the Engine for both measurements
  const Clock::time_point read_start = Clock::now();
  const std::uint64_t bytes = ReadEverything(stage);
  const double read_seconds = Seconds(read_start);

  const platform::Path staged = sim::WindowsPathOf(stage.string()) + L"\\payload";
  const platform::Path spf = staged + L"\\ProgramFiles\\Vellmora";
  std::string template_error;
  if (!vellmora::MaterializeEngineTemplates(staged + L"\\ProgramData\\Vellmora", &template_error,
                                            engine)) {
    std::fprintf(stderr, "templates: %s\n", template_error.c_str());
    return 1;
  }
  const Clock::time_point work_start = Clock::now();
  const bool normalized = vellmora::NormalizeEnginePaths(engine, spf, staged + L"\\ProgramData\\Vellmora",
                                                         staged + L"\\LocalAppData\\DO-Rarari_vlm5");
  const double normalize_seconds = Seconds(work_start);
  const bool isolated = normalized && vellmora::IsolateEngineComIdentity(engine, spf, 0.0f, 1.0f);
  const double work_seconds = Seconds(work_start);
  const double megabytes = static_cast<double>(bytes) / 1e6;
  std::printf("Engine bytes read: %.1f MB\n", megabytes);
  std::printf("plain read:                  %7.3f s  %8.1f MB/s\n", read_seconds, megabytes / read_seconds);
  std::printf("normalisation:               %7.3f s\n", normalize_seconds);
  std::printf("normalisation + isolation:   %7.3f s  %8.1f MB/s\n", work_seconds, megabytes / work_seconds);
  std::printf("ratio to the plain read:     %7.2fx (goal: at most 2x)\n", work_seconds / read_seconds);
  if (!isolated) {
    const auto snapshot = engine.TakeSnapshot();
    std::fprintf(stderr, "failed: %s\n", snapshot.log_lines.empty() ? "" : snapshot.log_lines.back().c_str());
    return 1;
  }
  return 0;
}
