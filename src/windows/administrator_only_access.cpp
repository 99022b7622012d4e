#include "windows/administrator_only_access.h"

#include <cwchar>
#include <vector>

#include "platform/files.h"
#include "platform/security.h"

namespace vellmora {
namespace {

constexpr const wchar_t* kTrustedInstallerSid =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

bool IsAdministrative(const std::wstring& sid) {
  return sid == L"SY" || sid == L"BA" || sid == platform::kLocalSystemSid ||
         sid == platform::kAdministratorsSid || sid == kTrustedInstallerSid;
}

// Rights that change an object or what a directory holds: write or add a file, append or add a
// sub-directory, write extended attributes, delete a child, delete, write the DACL or the owner,
// generic all and generic write.
constexpr std::uint32_t kModifyingRights = 0x2 | 0x4 | 0x10 | 0x40 | 0x00010000 | 0x00040000 |
                                           0x00080000 | 0x10000000 | 0x40000000;

std::uint32_t RightsOf(const std::wstring& text) {
  if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
    return static_cast<std::uint32_t>(std::wcstoul(text.c_str() + 2, nullptr, 16));
  }
  struct Code {
    const wchar_t* name;
    std::uint32_t rights;
  };
  static const Code kCodes[] = {
      {L"GA", 0x10000000}, {L"GR", 0x80000000}, {L"GW", 0x40000000}, {L"GX", 0x20000000},
      {L"FA", 0x001F01FF}, {L"FR", 0x00120089}, {L"FW", 0x00120116}, {L"FX", 0x001200A0},
      {L"SD", 0x00010000}, {L"RC", 0x00020000}, {L"WD", 0x00040000}, {L"WO", 0x00080000},
      {L"CC", 0x1},        {L"DC", 0x2},        {L"LC", 0x4},        {L"SW", 0x8},
      {L"RP", 0x10},       {L"WP", 0x20},       {L"DT", 0x40},       {L"LO", 0x80},
      {L"CR", 0x100},      {L"KA", 0x000F003F}, {L"KR", 0x00020019}, {L"KW", 0x00020006},
      {L"KX", 0x00020019},
  };
  std::uint32_t rights = 0;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    const std::wstring code = text.substr(i, 2);
    bool known = false;
    for (const Code& entry : kCodes) {
      if (code == entry.name) {
        rights |= entry.rights;
        known = true;
      }
    }
    if (!known) return 0xFFFFFFFF;  // a right this reader does not know counts as writing
  }
  return rights;
}

std::vector<std::wstring> Fields(const std::wstring& ace) {
  std::vector<std::wstring> fields(1);
  for (wchar_t c : ace) {
    if (c == L';') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// The text of a section ("O:", "D:") up to the next section's tag.
bool Section(const std::wstring& sddl, const wchar_t* tag, std::wstring* text) {
  std::size_t start = sddl.find(tag);
  if (start == std::wstring::npos) return false;
  start += 2;
  std::size_t depth = 0;
  std::size_t end = start;
  for (; end < sddl.size(); ++end) {
    if (sddl[end] == L'(') ++depth;
    if (sddl[end] == L')') --depth;
    if (depth == 0 && end + 1 < sddl.size() && sddl[end + 1] == L':' && end > start) break;
  }
  *text = sddl.substr(start, end - start);
  return true;
}

}  // namespace

bool SddlAllowsOnlyAdministratorsToModify(const std::wstring& sddl) {
  std::wstring owner;
  std::wstring dacl;
  if (!Section(sddl, L"O:", &owner) || !IsAdministrative(owner)) return false;
  if (!Section(sddl, L"D:", &dacl)) return false;
  std::size_t open = dacl.find(L'(');
  if (dacl.find(L"NO_ACCESS_CONTROL") != std::wstring::npos) return false;
  while (open != std::wstring::npos) {
    std::size_t close = dacl.find(L')', open);
    if (close == std::wstring::npos) return false;
    std::vector<std::wstring> fields = Fields(dacl.substr(open + 1, close - open - 1));
    if (fields.size() < 6) return false;
    const bool allows = fields[0] == L"A" || fields[0] == L"OA";
    const bool applies = fields[1].find(L"IO") == std::wstring::npos;
    if (allows && applies && (RightsOf(fields[2]) & kModifyingRights) &&
        !IsAdministrative(fields[5])) {
      return false;
    }
    open = dacl.find(L'(', close);
  }
  return true;
}

bool OnlyAdministratorsMayModify(const Path& path) {
  platform::UniqueHandle entry;
  if (platform::CreateFileW(path, platform::kAccessReadControl, platform::kShareAll,
                            platform::kOpenExisting,
                            platform::kFlagBackupSemantics | platform::kFlagOpenReparsePoint,
                            &entry) != platform::kErrorSuccess) {
    return false;
  }
  std::wstring sddl;
  return platform::GetSecuritySddl(entry.Get(), &sddl) == platform::kErrorSuccess &&
         SddlAllowsOnlyAdministratorsToModify(sddl);
}

}  // namespace vellmora
