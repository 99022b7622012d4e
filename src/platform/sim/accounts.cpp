#include "platform/accounts.h"

#include <cwctype>

#include "platform/sim/access_control.h"
#include "platform/sim/local_groups.h"
#include "platform/sim/machine.h"
#include "platform/sim/text.h"

namespace platform {
namespace {

constexpr const wchar_t* kEveryone = L"S-1-1-0";
constexpr const wchar_t* kAuthenticatedUsers = L"S-1-5-11";
constexpr const wchar_t* kAdministratorsGroup = L"S-1-5-32-544";

// "S-1-<authority>-<sub>..." with decimal numbers, at most 15 sub-authorities, as Windows parses.
bool ParseSid(const std::wstring& text, std::uint64_t* authority,
              std::vector<std::uint32_t>* subs) {
  if (text.size() < 4 || std::towupper(text[0]) != L'S' || text.compare(1, 3, L"-1-") != 0) {
    return false;
  }
  std::vector<std::uint64_t> numbers;
  std::size_t position = 4;
  while (true) {
    std::size_t end = position;
    std::uint64_t value = 0;
    while (end < text.size() && std::iswdigit(text[end])) {
      value = value * 10 + static_cast<std::uint64_t>(text[end] - L'0');
      if (value > 0xFFFFFFFFFFFFull) return false;
      ++end;
    }
    if (end == position) return false;
    numbers.push_back(value);
    if (end == text.size()) break;
    if (text[end] != L'-') return false;
    position = end + 1;
  }
  if (numbers.size() < 2 || numbers.size() > 16) return false;
  *authority = numbers[0];
  subs->clear();
  for (std::size_t i = 1; i < numbers.size(); ++i) {
    if (numbers[i] > 0xFFFFFFFFull) return false;
    subs->push_back(static_cast<std::uint32_t>(numbers[i]));
  }
  return true;
}

// The binary form: revision 1, the count, the authority big-endian in 6 bytes, then each
// sub-authority little-endian.
bool TextOf(const Sid& sid, std::wstring* text) {
  const std::vector<std::uint8_t>& b = sid.bytes;
  if (b.size() < 8 || b[0] != 1 || b[1] > 15 || b.size() != 8 + 4u * b[1]) return false;
  std::uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = authority << 8 | b[i];
  std::wstring result = L"S-1-" + std::to_wstring(authority);
  for (std::size_t i = 0; i < b[1]; ++i) {
    const std::size_t at = 8 + 4 * i;
    const std::uint32_t value = static_cast<std::uint32_t>(b[at]) | b[at + 1] << 8 |
                                b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
    result += L"-" + std::to_wstring(value);
  }
  *text = result;
  return true;
}

bool Lists(const std::vector<std::wstring>& sids, const std::wstring& sid) {
  for (const std::wstring& listed : sids) {
    if (sim::internal::EqualsIgnoringCase(listed, sid)) return true;
  }
  return false;
}

}  // namespace

Win32Error ConvertStringSidToSidW(const std::wstring& text, Sid* sid) {
  std::uint64_t authority = 0;
  std::vector<std::uint32_t> subs;
  if (!ParseSid(text, &authority, &subs)) return kErrorInvalidSid;
  Sid result;
  result.bytes = {1, static_cast<std::uint8_t>(subs.size())};
  for (int shift = 40; shift >= 0; shift -= 8) {
    result.bytes.push_back(static_cast<std::uint8_t>(authority >> shift));
  }
  for (std::uint32_t value : subs) {
    for (int shift = 0; shift < 32; shift += 8) {
      result.bytes.push_back(static_cast<std::uint8_t>(value >> shift));
    }
  }
  *sid = std::move(result);
  return kErrorSuccess;
}

Win32Error ConvertSidToStringSidW(const Sid& sid, std::wstring* text) {
  return TextOf(sid, text) ? kErrorSuccess : kErrorInvalidSid;
}

Win32Error GetTokenUser(Sid* user) {
  return ConvertStringSidToSidW(sim::internal::UserSid(), user);
}

// The token is the machine user's logon token: the user, Everyone, Authenticated Users, and each
// local group the user was a member of at logon; Administrators only while elevated (the filtered
// token of UAC holds it for deny only).
Win32Error CheckTokenMembership(const Sid& group, bool* is_member) {
  std::wstring sid;
  if (!TextOf(group, &sid)) return kErrorInvalidSid;
  const std::wstring user = sim::internal::UserSid();
  bool member = sim::internal::EqualsIgnoringCase(sid, user) || sid == kEveryone ||
                sid == kAuthenticatedUsers;
  if (!member && (sid != kAdministratorsGroup || sim::internal::Config()->elevated)) {
    for (const sim::LocalGroup& local : sim::internal::ReadLocalGroups()) {
      if (sim::internal::EqualsIgnoringCase(local.sid, sid) && Lists(local.members, user)) {
        member = true;
      }
    }
  }
  *is_member = member;
  return kErrorSuccess;
}

Win32Error LookupAccountSidW(const Sid& sid, std::wstring* name, std::wstring* domain) {
  std::wstring text;
  if (!TextOf(sid, &text)) return kErrorInvalidSid;
  if (sim::internal::EqualsIgnoringCase(text, sim::internal::UserSid())) {
    *name = sim::internal::FromUtf8(sim::internal::Config()->user);
    *domain = L"VELLMORA-PC";
    return kErrorSuccess;
  }
  if (text == kEveryone) {
    *name = L"Everyone";
    domain->clear();
    return kErrorSuccess;
  }
  for (const sim::LocalGroup& group : sim::internal::ReadLocalGroups()) {
    if (sim::internal::EqualsIgnoringCase(group.sid, text)) {
      *name = group.name;
      *domain = text.rfind(L"S-1-5-32-", 0) == 0 ? L"BUILTIN" : L"VELLMORA-PC";
      return kErrorSuccess;
    }
  }
  return kErrorNoneMapped;
}

Win32Error NetLocalGroupAddMembers(const std::wstring& group_name, const Sid& member) {
  std::wstring sid;
  if (!TextOf(member, &sid)) return kErrorInvalidSid;
  if (!sim::internal::Config()->elevated) return kErrorAccessDenied;
  if (!sim::internal::EqualsIgnoringCase(sid, sim::internal::UserSid())) return kErrorNoSuchMember;
  Win32Error result = kNerrGroupNotFound;
  sim::internal::ChangeLocalGroups([&](std::vector<sim::LocalGroup>* groups) {
    for (sim::LocalGroup& group : *groups) {
      if (!sim::internal::EqualsIgnoringCase(group.name, group_name)) continue;
      if (Lists(group.members, sid) || Lists(group.added_since_logon, sid)) {
        result = kErrorMemberInAlias;
      } else {
        group.added_since_logon.push_back(sid);
        result = kErrorSuccess;
      }
      return;
    }
  });
  return result;
}

}  // namespace platform
