#include "forge/seven_zip_archive.h"

#include <cstdlib>

#include "forge/path_text.h"
#include "forge/tree_writer.h"

namespace forge {

namespace {

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

std::string Quoted(const std::filesystem::path& path) {
  std::string quoted(1, '"');
  quoted += path.string();
  quoted += '"';
  return quoted;
}

// Runs a 7-Zip command line in `dir`: 7-Zip names the items of "*" relative to the current
// folder, so the archive's paths start at the scratch folder's top.
bool Run(const std::filesystem::path& dir, const std::string& command, std::string* error) {
#ifdef _WIN32
  // cmd.exe strips one pair of quotes around the whole line.
  std::string line = "\"cd /d ";
  line += Quoted(dir);
  line += " && ";
  line += command;
  line += " >NUL 2>&1\"";
  const int status = std::system(line.c_str());
#else
  const int status = std::system(("cd " + Quoted(dir) + " && " + command + " >/dev/null 2>&1").c_str());
#endif
  if (status != 0) return Fail(error, "7-Zip failed (status " + std::to_string(status) + "): " + command);
  return true;
}

}  // namespace

std::filesystem::path ConfiguredSevenZip() { return VELLMORA_FORGE_7ZZ; }

bool WriteSevenZip(const std::vector<Entry>& entries, const std::filesystem::path& seven_zip,
                   const std::filesystem::path& out, std::string* error) {
  if (seven_zip.empty() || !std::filesystem::exists(seven_zip))
    return Fail(error, "no 7-Zip program to pack 7z archives with: " + PathText(seven_zip));
  std::vector<Entry> on_disk;
  std::vector<Entry> anti;
  for (const Entry& entry : entries) {
    switch (entry.kind) {
      case EntryKind::kFile:
      case EntryKind::kDirectory:
      case EntryKind::kUnixSymlink:
        on_disk.push_back(entry);
        break;
      case EntryKind::kHardLink:
        // 7-Zip stores the second name of a hard link as a plain copy in a 7z archive, which
        // would pass for a link test that is not one.
        return Fail(error, "7z archives have no hard links (RAR5 only): " + entry.path);
      case EntryKind::kAntiItem:
        anti.push_back(entry);
        on_disk.push_back({EntryKind::kFile, entry.path, {}, TextContent("anti-item\r\n")});
        break;
      default:
        return Fail(error, "7z archives made by 7-Zip cannot hold this entry: " + entry.path);
    }
  }
  const std::filesystem::path archive = std::filesystem::absolute(out);
  const std::filesystem::path scratch = WithSuffix(archive, ".forge-tree");
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  std::filesystem::remove(archive, ignored);
  bool ok = WriteTree(on_disk, scratch, error);
  const std::string sources = "\"*\"";
  // Stored, one thread, links stored as links, no timestamps of the scratch folder's own.
  if (ok)
    ok = Run(scratch, Quoted(std::filesystem::absolute(seven_zip)) + " a -t7z -mx0 -mmt1 -snl -snh -y -bd " + Quoted(archive) + " " +
                 sources,
             error);
  if (ok && !anti.empty()) {
    for (const Entry& entry : anti)
      std::filesystem::remove(scratch / std::filesystem::path(
                                            reinterpret_cast<const char8_t*>(entry.path.c_str())),
                              ignored);
    // Items of the archive that are gone from the folder (state q) become anti-items; the rest
    // is kept as it is.
    ok = Run(scratch,
             Quoted(std::filesystem::absolute(seven_zip)) + " u -t7z -mx0 -mmt1 -snl -snh -y -bd -up1q3r2x1y2z1w2 " +
                 Quoted(archive) + " " + sources,
             error);
  }
  std::filesystem::remove_all(scratch, ignored);
  if (!ok) std::filesystem::remove(archive, ignored);
  return ok;
}

}  // namespace forge
