#include "platform/volumes.h"

#include <algorithm>
#include <cwctype>

#include "platform/files.h"
#include "platform/sim/machine.h"

namespace platform {
namespace {

std::uint32_t TypeOf(const std::string& type) {
  if (type == "fixed") return kDriveFixed;
  if (type == "removable") return kDriveRemovable;
  if (type == "network") return kDriveRemote;
  if (type == "cdrom") return kDriveCdrom;
  if (type == "ramdisk") return kDriveRamdisk;
  return kDriveUnknown;
}

// The drive letter of "C:", "C:\" or "\\?\C:\"; 0 for anything else.
char RootLetter(Path root) {
  if (root.compare(0, 4, L"\\\\?\\") == 0) root.erase(0, 4);
  if (root.size() < 2 || root.size() > 3 || root[1] != L':' || root[0] >= 0x80 ||
      !std::iswalpha(root[0])) {
    return 0;
  }
  if (root.size() == 3 && root[2] != L'\\' && root[2] != L'/') return 0;
  return static_cast<char>(std::towupper(root[0]));
}

}  // namespace

Win32Error GetLogicalDriveStringsW(std::vector<Path>* roots) {
  std::vector<char> letters;
  for (const sim::DriveOptions& drive : sim::internal::Config()->drives) {
    letters.push_back(drive.letter);
  }
  std::sort(letters.begin(), letters.end());
  roots->clear();
  for (char letter : letters) roots->push_back(Path(1, static_cast<wchar_t>(letter)) + L":\\");
  return kErrorSuccess;
}

std::uint32_t GetDriveTypeW(const Path& root) {
  auto config = sim::internal::Config();
  char letter = root.empty() ? static_cast<char>(config->current_directory[0]) : RootLetter(root);
  const sim::DriveOptions* drive = letter ? config->Drive(letter) : nullptr;
  return drive ? TypeOf(drive->type) : kDriveNoRootDir;
}

Win32Error GetDiskFreeSpaceExW(const Path& root, std::uint64_t* free_bytes_available) {
  // Any existing directory of the volume will do, as on Windows.
  Path full;
  Win32Error error = GetFullPathNameW(root, &full);
  if (error != kErrorSuccess) return error;
  std::uint32_t attributes = GetFileAttributesW(full, &error);
  if (attributes == kInvalidFileAttributes) return kErrorPathNotFound;
  if (!(attributes & kAttributeDirectory)) return kErrorDirectory;
  size_t at = full.compare(0, 4, L"\\\\?\\") == 0 ? 4 : 0;
  const sim::DriveOptions* drive =
      sim::internal::Config()->Drive(static_cast<char>(std::towupper(full[at])));
  if (!drive) return kErrorPathNotFound;
  *free_bytes_available = drive->free_bytes;
  return kErrorSuccess;
}

}  // namespace platform
