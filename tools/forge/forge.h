#pragma once
// The package forge: writes genuine Engine and Pie64 instance packages (RAR5 written here, or 7z
// through the host's 7-Zip) and the trees they hold, so that every test of the listing check, the
// manifest check, the extraction and the installed-Engine detection runs on real archives that the
// real 7-Zip lists. Portable C++20 and std::filesystem only: the Windows test suites call it
// in-process under Wine.
//
// A package is a list of entries (archive paths with content) built from PackageOptions; the
// defaults give a package the installer accepts, each option changes one thing so that a test can
// ask for "an Engine package whose Vellmora.exe carries 3.9.0.0" or "an Engine package with one
// hard link at payload/ProgramFiles/Vellmora/x.dll". docs/PACKAGES.md is the contract.
//
// Every function that can fail returns false with a one-line error text (when `error` is not
// null); a failed WritePackage leaves no output file behind.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace forge {

enum class PackageKind { kEngine, kInstance };

enum class ArchiveFormat {
  kRar5,      // written by the forge itself; stored (uncompressed) files
  kSevenZip,  // laid out as a tree and packed by 7-Zip ("a -t7z")
};

// What one extra entry is in the archive. Link kinds carry their target in ExtraEntry::target.
enum class EntryKind {
  kFile,            // a regular file with ExtraEntry::content
  kDirectory,       // a directory entry
  kUnixSymlink,     // RAR5 redirection record, Unix symbolic link (host OS Unix)
  kWindowsSymlink,  // RAR5 redirection record, Windows symbolic link
  kJunction,        // RAR5 redirection record, Windows junction
  kHardLink,        // RAR5 redirection record, hard link to an earlier entry
  kAlternateStream, // RAR5 "STM" service header: stream ExtraEntry::target of the file at path
  kAntiItem,        // 7z anti-item (a deletion record); 7z format only
};

// One entry added to (or, for kAlternateStream, attached to) the package, after the regular
// ones. `path` is written into the archive byte for byte (UTF-8 for non-ASCII names), so it may
// be hostile: "../x", "/x", "C:/x", "payload/aux.txt", a second spelling of a listed path.
struct ExtraEntry {
  EntryKind kind = EntryKind::kFile;
  std::string path;
  std::string target;   // link target, or the stream name (without ':') of kAlternateStream
  std::string content;  // file or stream data
};

// The hostile variants the listing check must refuse, each as one ready-made entry.
enum class Hostile {
  kTraversal,          // payload/ProgramFiles/Vellmora/../../../evil.dll
  kAbsolutePath,       // /evil.dll
  kDriveLetter,        // C:/Windows/evil.dll
  kDeviceName,         // payload/ProgramFiles/Vellmora/aux.txt (inside the allowed root)
  kDuplicateSpelling,  // a second spelling of the package's first required payload file
  kBackslashSpelling,  // the same file once more, named with backslashes
  kNonAscii,           // a UTF-8 name inside the allowed root
  kOutsideRoots,       // payload/ProgramFiles/Vellmora2/x.dll, a sibling of an allowed root
  kUnixSymlink,        // inside the allowed root, pointing outside it
  kWindowsSymlink,
  kJunction,
  kHardLink,           // to the package's first required payload file
  kAlternateStream,    // a stream on the package's first required payload file
  kAntiItem,           // 7z only
};

// The ready-made entry of a hostile variant for a package kind.
ExtraEntry HostileEntry(PackageKind kind, Hostile hostile);
// A short stable name ("traversal", "hard-link", ...) for command lines and test names, and back.
const char* HostileName(Hostile hostile);
bool ParseHostile(const std::string& name, Hostile* hostile);

struct PackageOptions {
  PackageKind kind = PackageKind::kEngine;
  ArchiveFormat format = ArchiveFormat::kRar5;
  // Approximate total bytes of file data. The remainder after the fixed files goes to Root.vhd's
  // data area (instance) or to a filler resource file (Engine). Hundreds of MiB are written
  // streaming, never held in memory.
  std::uint64_t payload_bytes = 4ull << 20;
  // The fixed file and product versions of Vellmora.exe's VERSIONINFO.
  std::string file_version = "3.9.1.0";
  std::string product_version = "3.9.1.0";
  // Bytes placed in a ".rdata" section of an Engine program, by file name ("KolvRT.dll"): the
  // texts and byte patterns a test wants the Engine preparation to find. Without an entry a PE
  // file holds no text of the original edition's namespace.
  std::map<std::string, std::string> pe_read_only_data;
  // The manifest's "version" and, for the Engine, "releaseId" values.
  std::string manifest_version = "3.9.1.0";
  std::string release_id = "vellmora-3.9.1.0+20261108.01";
  // Writes the releaseId's '+' as the JSON escape \u002B.
  bool escape_release_plus = false;
  // The instance manifest's root-disk object (the "disks" member).
  bool manifest_root_disk = true;
  // When not empty, the whole manifest text instead of the generated one.
  std::string manifest_text;
  // Archive paths of the regular layout to leave out, compared without regard to case; a
  // directory leaves out everything under it. "package-manifest.json" leaves out the manifest.
  std::vector<std::string> omitted_paths;
  std::vector<ExtraEntry> extra_entries;
  // The 7-Zip console program used for kSevenZip; empty means the one this build was configured
  // with (VELLMORA_FORGE_7ZZ), if any.
  std::filesystem::path seven_zip;
  // The folder of the built PE stand-ins (VELLMORA_STANDINS_DIR). When set, the Engine's
  // programs are the stand-ins instead of plain images, and the Engine also holds the further
  // COM binaries the identity isolation requires. A program with pe_read_only_data, and a
  // Vellmora.exe asked for other versions than 3.9.1.0, stays a plain image.
  std::filesystem::path standins_dir;
};

// The package's allowed roots and required markers, in the installer's order.
std::vector<std::string> AllowedRoots(PackageKind kind);
std::vector<std::string> RequiredPaths(PackageKind kind);

// The package-manifest.json text the options give.
std::string ManifestText(const PackageOptions& options);

// Writes the package archive to `out` (replaced if it exists).
bool WritePackage(const PackageOptions& options, const std::filesystem::path& out,
                  std::string* error);

// Lays the package's regular content out under `dir` ("package-manifest.json" and "payload/...")
// exactly as extraction would, without the extra entries. `dir` is created if needed.
bool LayOutPackageTree(const PackageOptions& options, const std::filesystem::path& dir,
                       std::string* error);

// An Engine as the installer leaves it, for detection tests that install "by hand": the
// ProgramFiles payload in install_dir with "KolvSVC.exe" renamed "VLMServ.exe", "KolvRT.dll"
// copied as "VLCore.dll" and "tag.txt" in the private namespace; the ProgramData payload in
// data_dir with "VellmoraOX.conf" and "installed-engine-package-manifest.json"; the LocalAppData
// payload as local_app_data/"DO-Rarari_ovm5". Registry values are the caller's.
struct InstalledEngineDirs {
  std::filesystem::path install_dir;
  std::filesystem::path data_dir;
  std::filesystem::path local_app_data;
};
bool LayOutInstalledEngine(const PackageOptions& options, const InstalledEngineDirs& dirs,
                           std::string* error);

}  // namespace forge
