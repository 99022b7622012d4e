#include <fstream>
#include <iterator>
#include <set>

#include "forge/disk_images.h"
#include "forge/package_entries.h"
#include "forge/pe_image.h"
#include "forge/small_files.h"

namespace forge {

namespace {

constexpr char kProgramFiles[] = "payload/ProgramFiles/Vellmora";
constexpr char kProgramData[] = "payload/ProgramData/Vellmora";
constexpr char kLocalAppData[] = "payload/LocalAppData/DO-Rarari_vlm5";
constexpr char kInstance[] = "payload/Instances/Pie64";

constexpr DiskUuid kRootDisk = {0x6B, 0x1E, 0x5A, 0x3C, 0x9D, 0x27, 0x4F, 0x41,
                                0x8E, 0x52, 0x0C, 0xA4, 0x71, 0xB3, 0xD6, 0x19};
constexpr DiskUuid kBootDisk = {0x2F, 0x8C, 0x41, 0x7E, 0x05, 0xB9, 0x4D, 0x63,
                                0xA1, 0x3E, 0x9B, 0x54, 0xC8, 0x0D, 0x72, 0xE6};

// Builds the entry list: every file's missing ancestor directories go in first.
class Layout {
 public:
  void Directory(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos) Directory(path.substr(0, slash));
    if (directories_.insert(path).second) entries_.push_back({EntryKind::kDirectory, path, {}, {}});
  }
  void File(const std::string& path, Content content) {
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos) Directory(path.substr(0, slash));
    entries_.push_back({EntryKind::kFile, path, {}, std::move(content)});
  }
  std::uint64_t FileBytes() const {
    std::uint64_t total = 0;
    for (const Entry& entry : entries_) total += entry.content.Size();
    return total;
  }
  std::vector<Entry>& entries() { return entries_; }

 private:
  std::vector<Entry> entries_;
  std::set<std::string> directories_;
};

// The built stand-in for a program, when the options ask for stand-ins and for nothing of its
// bytes that the stand-in cannot give.
bool StandInImage(const PackageOptions& options, const std::string& name,
                  const std::string& file_version, const std::string& product_version,
                  std::string* image, std::string* error) {
  image->clear();
  if (options.standins_dir.empty() || options.pe_read_only_data.count(name) != 0 ||
      file_version != "3.9.1.0" || product_version != "3.9.1.0")
    return true;
  std::ifstream file(options.standins_dir / name, std::ios::binary);
  image->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (!file || image->size() < 2 || image->compare(0, 2, "MZ") != 0) {
    if (error) *error = "no built stand-in " + (options.standins_dir / name).string();
    return false;
  }
  return true;
}

bool AddProgram(Layout* layout, const PackageOptions& options, const std::string& name, bool dll,
                const std::string& description, const std::string& file_version,
                const std::string& product_version, std::string* error) {
  std::string stand_in;
  if (!StandInImage(options, name, file_version, product_version, &stand_in, error)) return false;
  if (!stand_in.empty()) {
    layout->File(std::string(kProgramFiles) + "/" + name, TextContent(std::move(stand_in)));
    return true;
  }
  PeImageOptions pe;
  const auto data = options.pe_read_only_data.find(name);
  if (data != options.pe_read_only_data.end()) pe.read_only_data = data->second;
  pe.dll = dll;
  pe.file_name = name;
  pe.description = description;
  pe.file_version = file_version;
  pe.product_version = product_version;
  std::string image = MakePeImage(pe);
  if (image.empty()) {
    if (error) *error = "not a four-part version for " + name + ": " + file_version + " / " +
                        product_version;
    return false;
  }
  layout->File(std::string(kProgramFiles) + "/" + name, TextContent(std::move(image)));
  return true;
}

bool EngineLayout(const PackageOptions& options, Layout* layout, std::string* error) {
  layout->File("package-manifest.json", TextContent(ManifestText(options)));
  if (!AddProgram(layout, options, "Vellmora.exe", false, "Vellmora player", options.file_version,
                  options.product_version, error))
    return false;
  layout->File(std::string(kProgramFiles) + "/ProductLogo.ico", TextContent(ProductIcon()));
  struct Program {
    const char* name;
    bool dll;
    const char* description;
  };
  static const Program kPrograms[] = {
      {"KolvRT.dll", true, "Vellmora runtime"},
      {"KolvVMM.dll", true, "Vellmora virtual machine monitor"},
      {"libOpenglRender.dll", true, "Vellmora OpenGL renderer"},
      {"KolvSVC.exe", false, "Vellmora COM server"},
      {"KolvC.dll", true, "Vellmora COM client"},
      {"KolvProxyStub.dll", true, "Vellmora COM proxy and stub"},
      {"RV-Common.dll", true, "Vellmora common services"},
  };
  // The further COM binaries whose identities the installer isolates exist only as stand-ins.
  static const Program kStandInPrograms[] = {
      {"RV-MultiInstanceManager.exe", false, "Vellmora instance manager"},
      {"KolvVMMgr.exe", false, "Vellmora machine manager"},
      {"VBoxCAPI.dll", true, "Vellmora engine C API"},
      {"KolvTypeLib.dll", true, "Vellmora engine type library"},
      {"RV-Bridge-Native.dll", true, "Vellmora native bridge"},
      {"RV-EnableHyperV.exe", false, "Vellmora Hyper-V helper"},
      {"RV-DiskFormatCheck.exe", false, "Vellmora disk format check"},
      {"RV-Apn.dll", true, "Vellmora network helper"},
      {"RV-DiskCompaction.exe", false, "Vellmora disk compaction"},
      {"RV-WerHandler2.dll", true, "Vellmora error reporting"},
  };
  for (const Program& program : kPrograms)
    if (!AddProgram(layout, options, program.name, program.dll, program.description, "3.9.1.0",
                    "3.9.1.0", error))
      return false;
  if (!options.standins_dir.empty())
    for (const Program& program : kStandInPrograms)
      if (!AddProgram(layout, options, program.name, program.dll, program.description, "3.9.1.0",
                      "3.9.1.0", error))
        return false;
  layout->File(std::string(kProgramFiles) + "/tag.txt", TextContent("_vlm5\r\n"));

  layout->File(std::string(kProgramData) + "/pellucador.conf.template",
               TextContent(HostConfigTemplate()));
  layout->File(std::string(kProgramData) + "/Engine/Manager/KolvGlobal.xml.template",
               TextContent(MachineRegistryTemplate()));
  layout->File(std::string(kProgramData) + "/Engine/UserData/QorMetaData.template.json",
               TextContent(InstanceMetadataTemplate()));

  const std::string cache = std::string(kLocalAppData) + "/cache/qmlcache";
  layout->Directory(cache);
  for (const char* unit : {"08523e4e67271599f5bb2e57c07b4108dc314c3d.qmlc",
                           "755080695C2EB9FE522A948F55FB7FB092A25767.qmlc",
                           "3d9f0c1a7b5e48c2a6f1e0b94d7c3a58e2b16f04.qmlc"})
    layout->File(cache + "/" + unit, TextContent(QmlCacheFile(unit)));

  // The rest of the requested size: player resources, so that a large package is large where a
  // real one is.
  Content assets;
  assets.head = "qres";
  assets.seed = 0x52434300;
  const std::uint64_t used = layout->FileBytes() + assets.head.size();
  assets.filler = options.payload_bytes > used ? options.payload_bytes - used : 0;
  layout->File(std::string(kProgramFiles) + "/resources/player-assets.rcc", std::move(assets));
  return true;
}

void InstanceLayout(const PackageOptions& options, Layout* layout) {
  layout->File("package-manifest.json", TextContent(ManifestText(options)));
  const std::string root = kInstance;
  Content data;
  data.head = MinimalVhdx();
  layout->File(root + "/Data.vhdx", std::move(data));
  layout->File(root + "/fastboot.vdi", TextContent(DynamicVdi(16u << 20, kBootDisk)));
  layout->File(root + "/Android.kolv.in", TextContent(VmDefinition("Pie64", kRootDisk, kBootDisk)));
  layout->File(root + "/Pie64.kolv.template",
               TextContent(VmDefinition("Pie64", kRootDisk, kBootDisk)));
  // Root.vhd takes what the requested size leaves, at least 1 MiB, in whole sectors.
  const std::uint64_t used = layout->FileBytes() + 512;
  std::uint64_t disk = options.payload_bytes > used ? options.payload_bytes - used : 0;
  disk = disk / 512 * 512;
  if (disk < (1u << 20)) disk = 1u << 20;
  layout->File(root + "/Root.vhd", FixedVhd(disk, kRootDisk));
}

bool Omitted(const std::vector<std::string>& omitted, const std::string& path) {
  const std::string key = ComparablePath(path);
  for (const std::string& one : omitted) {
    const std::string gone = ComparablePath(one);
    if (key == gone || (key.size() > gone.size() && key.compare(0, gone.size(), gone) == 0 &&
                        key[gone.size()] == '/'))
      return true;
  }
  return false;
}

}  // namespace

std::string ComparablePath(const std::string& path) {
  std::string key;
  for (char c : path) key.push_back(c == '\\' ? '/' : (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c);
  while (!key.empty() && key.back() == '/') key.pop_back();
  return key;
}

std::vector<std::string> AllowedRoots(PackageKind kind) {
  if (kind == PackageKind::kEngine)
    return {"package-manifest.json", kProgramFiles, kProgramData, kLocalAppData};
  return {"package-manifest.json", kInstance};
}

std::vector<std::string> RequiredPaths(PackageKind kind) {
  if (kind == PackageKind::kEngine)
    return {"package-manifest.json",
            std::string(kProgramFiles) + "/Vellmora.exe",
            std::string(kProgramFiles) + "/ProductLogo.ico",
            std::string(kProgramFiles) + "/KolvRT.dll",
            std::string(kProgramFiles) + "/KolvVMM.dll",
            std::string(kProgramData) + "/pellucador.conf.template",
            std::string(kProgramData) + "/Engine/Manager/KolvGlobal.xml.template",
            std::string(kProgramData) + "/Engine/UserData/QorMetaData.template.json",
            std::string(kLocalAppData) + "/cache/qmlcache"};
  const std::string root = kInstance;
  return {"package-manifest.json", root + "/Data.vhdx",       root + "/Root.vhd",
          root + "/fastboot.vdi",  root + "/Android.kolv.in", root + "/Pie64.kolv.template"};
}

bool RegularEntries(const PackageOptions& options, std::vector<Entry>* entries,
                    std::string* error) {
  Layout layout;
  if (options.kind == PackageKind::kEngine) {
    if (!EngineLayout(options, &layout, error)) return false;
  } else {
    InstanceLayout(options, &layout);
  }
  entries->clear();
  for (Entry& entry : layout.entries())
    if (!Omitted(options.omitted_paths, entry.path)) entries->push_back(std::move(entry));
  return true;
}

bool PackageEntries(const PackageOptions& options, std::vector<Entry>* entries,
                    std::string* error) {
  if (!RegularEntries(options, entries, error)) return false;
  for (const ExtraEntry& extra : options.extra_entries) {
    Entry entry{extra.kind, extra.path, extra.target, TextContent(extra.content)};
    if (extra.kind != EntryKind::kAlternateStream) {
      entries->push_back(std::move(entry));
      continue;
    }
    // A stream belongs to the file whose header it follows.
    auto owner = entries->end();
    for (auto it = entries->begin(); it != entries->end(); ++it)
      if (it->kind == EntryKind::kFile && it->path == extra.path) owner = it;
    if (owner == entries->end()) {
      if (error) *error = "the alternate stream's file is not in the package: " + extra.path;
      return false;
    }
    auto after = owner + 1;
    while (after != entries->end() && after->kind == EntryKind::kAlternateStream) ++after;
    entries->insert(after, std::move(entry));
  }
  return true;
}

}  // namespace forge
