#include "forge/forge.h"
#include "forge/package_entries.h"
#include "forge/path_text.h"
#include "forge/rar5_writer.h"
#include "forge/seven_zip_archive.h"
#include "forge/tree_writer.h"

namespace forge {

namespace {

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// The text rewrite the installer applies to configuration files, reduced to what an installed
// Engine's files show: the private folder names and tag.
std::string InPrivateNamespace(std::string text) {
  text = Replaced(std::move(text), "C:\\Program Files\\Pellucador_kta5", "C:\\Vellmora");
  text = Replaced(std::move(text), "C:\\ProgramData\\Pellucador_kta5", "C:\\ProgramData\\Vellmora");
  text = Replaced(std::move(text), "Pellucador_kta5", "Vellmora");
  text = Replaced(std::move(text), "DO-Rarari_kta5", "DO-Rarari_ovm5");
  text = Replaced(std::move(text), "_vlm5", "_ovm5");
  text = Replaced(std::move(text), "QorMetaData.json", "VlmMetaData.json");
  return text;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

bool WritePackage(const PackageOptions& options, const std::filesystem::path& out,
                  std::string* error) {
  std::vector<Entry> entries;
  if (!PackageEntries(options, &entries, error)) return false;
  // Written beside the target and renamed over it, so that a failed run leaves nothing behind.
  const std::filesystem::path partial = WithSuffix(out, ".forge-partial");
  bool ok = false;
  if (options.format == ArchiveFormat::kRar5) {
    ok = WriteRar5(entries, partial, error);
  } else {
    const std::filesystem::path tool =
        options.seven_zip.empty() ? ConfiguredSevenZip() : options.seven_zip;
    ok = WriteSevenZip(entries, tool, partial, error);
  }
  std::error_code code;
  if (ok) {
    std::filesystem::rename(partial, out, code);
    if (code) ok = Fail(error, "cannot move the package to " + PathText(out) + ": " + code.message());
  }
  if (!ok) std::filesystem::remove(partial, code);
  return ok;
}

bool LayOutPackageTree(const PackageOptions& options, const std::filesystem::path& dir,
                       std::string* error) {
  std::vector<Entry> entries;
  return RegularEntries(options, &entries, error) && WriteTree(entries, dir, error);
}

bool LayOutInstalledEngine(const PackageOptions& options, const InstalledEngineDirs& dirs,
                           std::string* error) {
  PackageOptions engine = options;
  engine.kind = PackageKind::kEngine;
  std::vector<Entry> package;
  if (!RegularEntries(engine, &package, error)) return false;
  const std::string program_files = "payload/ProgramFiles/Vellmora/";
  const std::string program_data = "payload/ProgramData/Vellmora/";
  const std::string local_app_data = "payload/LocalAppData/DO-Rarari_vlm5/";
  std::vector<Entry> install;
  std::vector<Entry> data;
  std::vector<Entry> user;
  for (Entry& entry : package) {
    const std::string dir = entry.path + "/";
    if (StartsWith(entry.path, program_files)) {
      entry.path.erase(0, program_files.size());
      if (entry.path == "KolvSVC.exe") entry.path = "VLMServ.exe";
      if (entry.path == "tag.txt") entry.content = TextContent(InPrivateNamespace(entry.content.Bytes()));
      if (entry.path == "KolvRT.dll") install.push_back({entry.kind, "VLCore.dll", {}, entry.content});
      install.push_back(std::move(entry));
    } else if (StartsWith(entry.path, program_data)) {
      entry.path.erase(0, program_data.size());
      data.push_back(entry);
      struct Working {
        const char* from;
        const char* to;
      };
      for (const Working& working :
           {Working{"pellucador.conf.template", "VellmoraOX.conf"},
            Working{"Engine/Manager/KolvGlobal.xml.template", "Engine/Manager/KolvGlobal.xml"},
            Working{"Engine/UserData/QorMetaData.template.json", "Engine/UserData/VlmMetaData.json"}})
        if (entry.path == working.from)
          data.push_back({EntryKind::kFile, working.to, {},
                          TextContent(InPrivateNamespace(entry.content.Bytes()))});
    } else if (StartsWith(entry.path, local_app_data)) {
      entry.path.erase(0, local_app_data.size());
      user.push_back(std::move(entry));
    } else if (entry.path == "package-manifest.json") {
      data.push_back({EntryKind::kFile, "installed-engine-package-manifest.json", {}, entry.content});
    } else if (!StartsWith(program_files, dir) && !StartsWith(program_data, dir) &&
               !StartsWith(local_app_data, dir)) {
      return Fail(error, "an entry outside the Engine's roots: " + entry.path);
    }
  }
  return WriteTree(install, dirs.install_dir, error) && WriteTree(data, dirs.data_dir, error) &&
         WriteTree(user, dirs.local_app_data / "DO-Rarari_ovm5", error);
}

}  // namespace forge
