#include "instance/disk_image_checks.h"

#include <array>
#include <cctype>
#include <cstdint>

#include "app/file_helpers.h"
#include "app/path_helpers.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "instance/guid_digits.h"
#include "instance/vm_definition.h"
#include "platform/files.h"

namespace vellmora {
namespace {

constexpr std::size_t kFooterSize = 512;
constexpr std::size_t kChecksumOffset = 64;
constexpr std::size_t kUuidOffset = 68;
constexpr char kCookie[] = "conectix";

constexpr const char* kRootLocation = "location=\"Root.vhd\"";
constexpr const char* kBootLocation = "location=\"fastboot.vdi\"";

// The last 512 bytes of an open file; false when it is shorter or a read fails.
bool ReadLastSector(platform::RawHandle file, std::array<std::uint8_t, kFooterSize>* footer,
                    bool* too_short) {
  std::uint64_t size = 0;
  if (platform::GetFileSizeEx(file, &size) != platform::kErrorSuccess || size < kFooterSize) {
    *too_short = true;
    return false;
  }
  if (platform::SetFilePointerEx(file, static_cast<std::int64_t>(size - kFooterSize),
                                 platform::kFileBegin) != platform::kErrorSuccess) {
    return false;
  }
  std::size_t filled = 0;
  while (filled < kFooterSize) {
    std::uint32_t read = 0;
    if (platform::ReadFile(file, footer->data() + filled,
                           static_cast<std::uint32_t>(kFooterSize - filled),
                           &read) != platform::kErrorSuccess ||
        read == 0) {
      return false;
    }
    filled += read;
  }
  return true;
}

std::uint32_t BigEndian32(const std::uint8_t* bytes) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
         (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

platform::Guid GuidInMemoryOrder(const std::uint8_t* bytes) {
  platform::Guid guid;
  guid.data1 = std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
               (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
  guid.data2 = static_cast<std::uint16_t>(bytes[4] | (bytes[5] << 8));
  guid.data3 = static_cast<std::uint16_t>(bytes[6] | (bytes[7] << 8));
  for (int i = 0; i < 8; ++i) guid.data4[i] = bytes[8 + i];
  return guid;
}

// "{8-4-4-4-12}" of hexadecimal digits in either case, as the system's GUID parser takes it.
bool ParsesAsGuid(const std::string& text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    const bool hyphen = i == 9 || i == 14 || i == 19 || i == 24;
    if (hyphen ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) {
      return false;
    }
  }
  return true;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsAt(const std::string& text, std::size_t at, const std::string& what) {
  if (at + what.size() > text.size()) return false;
  for (std::size_t i = 0; i < what.size(); ++i) {
    if (LowerAscii(text[at + i]) != LowerAscii(what[i])) return false;
  }
  return true;
}

// Every position where what occurs, letter case ignored, overlapping ones included.
std::vector<std::size_t> PositionsIgnoringCase(const std::string& text, const std::string& what) {
  std::vector<std::size_t> positions;
  if (what.empty()) return positions;
  for (std::size_t at = 0; at + what.size() <= text.size(); ++at) {
    if (EqualsAt(text, at, what)) positions.push_back(at);
  }
  return positions;
}

}  // namespace

bool ReadVhdFooter(const platform::Path& root_vhd, std::string* uuid, std::string* error) {
  platform::FileStatus status;
  if (platform::GetFileStatus(root_vhd, &status) != platform::kErrorSuccess ||
      (status.attributes & (platform::kAttributeDirectory | platform::kAttributeReparsePoint)) !=
          0) {
    *error = "Root.vhd is missing, is a directory, or is a reparse point.";
    return false;
  }
  platform::UniqueHandle file;
  std::array<std::uint8_t, kFooterSize> footer{};
  bool too_short = false;
  if (platform::CreateFileW(root_vhd, platform::kGenericRead, platform::kShareAll,
                            platform::kOpenExisting, 0, &file) != platform::kErrorSuccess) {
    *error = "Root.vhd is unreadable or has no VHD footer.";
    return false;
  }
  const bool read = ReadLastSector(file.Get(), &footer, &too_short);
  if (too_short) {
    *error = "Root.vhd is unreadable or has no VHD footer.";
    return false;
  }
  if (!read || std::string(footer.begin(), footer.begin() + 8) != kCookie) {
    *error = "Root.vhd has an invalid VHD footer cookie.";
    return false;
  }
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < kFooterSize; ++i) {
    if (i < kChecksumOffset || i >= kChecksumOffset + 4) sum += footer[i];
  }
  if (BigEndian32(footer.data() + kChecksumOffset) != static_cast<std::uint32_t>(~sum)) {
    *error = "Root.vhd has an invalid VHD footer checksum.";
    return false;
  }
  bool all_zero = true;
  for (std::size_t i = 0; i < 16; ++i) all_zero = all_zero && footer[kUuidOffset + i] == 0;
  if (all_zero) {
    *error = "Root.vhd has no valid disk UUID.";
    return false;
  }
  const std::string text = ToUtf8(FormatGuid(GuidInMemoryOrder(footer.data() + kUuidOffset), true));
  if (text.empty()) {
    *error = "Root.vhd UUID could not be encoded as UTF-8.";
    return false;
  }
  *uuid = text;
  return true;
}

bool SyncRootVhdUuid(const platform::Path& instance_dir,
                     const std::vector<platform::Path>& definitions, bool update_allowed,
                     std::string* error) {
  std::string footer_uuid;
  if (!ReadVhdFooter(JoinPath(instance_dir, L"Root.vhd"), &footer_uuid, error)) return false;
  for (const platform::Path& name : definitions) {
    const platform::Path path = IsAbsolutePath(name) ? name : JoinPath(instance_dir, name);
    const std::string file = ToUtf8(path);
    std::string text;
    if (!ReadWholeFile(path, &text)) {
      *error = "Could not read " + file + ".";
      return false;
    }
    int root_elements = 0;
    std::string registered;
    for (const std::string& element : DiskElements(text)) {
      if (element.find(kRootLocation) == std::string::npos) continue;
      ++root_elements;
      std::string value;
      if (AttributeValue(element, "uuid", &value)) registered = value;
    }
    if (root_elements != 1 || registered.size() != 38 || !ParsesAsGuid(registered)) {
      *error = "Root.vhd has no unique disk UUID entry in " + file + ".";
      return false;
    }
    const std::vector<std::size_t> occurrences = PositionsIgnoringCase(text, registered);
    if (occurrences.size() != 2) {
      *error = "Root.vhd must have exactly one disk registration and one attached image in " +
               file + ".";
      return false;
    }
    if (EqualsIgnoringCase(registered, footer_uuid)) continue;
    if (!update_allowed) {
      *error = "Root.vhd UUID " + footer_uuid + " differs from " + registered + " in " + file + ".";
      return false;
    }
    // Both occurrences are 38 characters apart at least, so replacing them from the back keeps
    // the front positions valid.
    for (auto at = occurrences.rbegin(); at != occurrences.rend(); ++at) {
      text.replace(*at, registered.size(), footer_uuid);
    }
    if (!ReplaceFileAtomically(path, text)) {
      *error = "Could not synchronize Root.vhd UUID in " + file + ".";
      return false;
    }
  }
  return true;
}

bool CheckVmDiskEntries(const platform::Path& definition) {
  std::string text;
  if (!ReadWholeFile(definition, &text)) return false;
  int system_disks = 0;
  int boot_disks = 0;
  for (const std::string& element : DiskElements(text)) {
    if (element.find(kRootLocation) != std::string::npos) {
      if (system_disks > 0 || element.find("format=\"VHD\"") == std::string::npos ||
          element.find("type=\"Normal\"") == std::string::npos) {
        return false;
      }
      ++system_disks;
    }
    if (element.find(kBootLocation) != std::string::npos) {
      if (boot_disks > 0 || element.find("format=\"VDI\"") == std::string::npos ||
          element.find("type=\"Readonly\"") == std::string::npos) {
        return false;
      }
      ++boot_disks;
    }
  }
  return system_disks == 1 && boot_disks == 1;
}

std::string NewMacAddress() {
  const std::string digits = NewGuidDigits();
  if (digits.size() < 6) return {};
  std::string tail = digits.substr(digits.size() - 6);
  for (char& c : tail) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return "080027" + tail;
}

}  // namespace vellmora
