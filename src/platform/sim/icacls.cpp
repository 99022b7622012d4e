#include "platform/sim/icacls.h"

#include <cwctype>

#include "platform/files.h"
#include "platform/sim/access_control.h"
#include "platform/sim/text.h"

namespace sim::internal {
namespace {

struct Grant {
  std::wstring sid;
  std::uint32_t rights = 0;
  std::uint32_t flags = 0;
};

struct Request {
  std::wstring target;
  wchar_t inheritance = 0;  // 'e', 'd' or 'r'
  bool reset = false;
  bool replace_grants = false;
  std::vector<Grant> grants;
  bool recursive = false;
  bool continue_on_error = false;
  bool quiet = false;
};

std::wstring Lower(const std::wstring& text) {
  std::wstring lower = text;
  for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return lower;
}

std::wstring SidOfName(const std::wstring& name) {
  if (!name.empty() && name[0] == L'*') return SidOf(name.substr(1));
  std::wstring lower = Lower(name);
  if (lower == L"system" || lower == L"nt authority\\system") return L"S-1-5-18";
  if (lower == L"administrators" || lower == L"builtin\\administrators") return L"S-1-5-32-544";
  if (lower == L"users" || lower == L"builtin\\users") return L"S-1-5-32-545";
  if (lower == L"everyone") return L"S-1-1-0";
  return {};
}

// "<who>:(OI)(CI)F", "<who>:RX", "<who>:(OI)(CI)(RX,W)".
bool ParseGrant(const std::wstring& text, Grant* grant) {
  std::size_t colon = text.rfind(L':');
  if (colon == std::wstring::npos || colon == 0) return false;
  grant->sid = SidOfName(text.substr(0, colon));
  if (grant->sid.empty()) return false;
  std::wstring rest = text.substr(colon + 1);
  while (!rest.empty()) {
    std::wstring item;
    if (rest[0] == L'(') {
      std::size_t close = rest.find(L')');
      if (close == std::wstring::npos) return false;
      item = rest.substr(1, close - 1);
      rest = rest.substr(close + 1);
    } else {
      item = rest;
      rest.clear();
    }
    if (item == L"OI") {
      grant->flags |= kObjectInherit;
    } else if (item == L"CI") {
      grant->flags |= kContainerInherit;
    } else if (item == L"IO") {
      grant->flags |= kInheritOnly;
    } else if (item == L"NP") {
      grant->flags |= kNoPropagate;
    } else {
      for (const std::wstring& right : Split(item, L',')) {
        if (right == L"F") {
          grant->rights |= kFullControl;
        } else if (right == L"M") {
          grant->rights |= kModify;
        } else if (right == L"RX") {
          grant->rights |= kReadExecute;
        } else if (right == L"R") {
          grant->rights |= kRead;
        } else if (right == L"W") {
          grant->rights |= kWrite;
        } else {
          return false;
        }
      }
    }
  }
  return grant->rights != 0;
}

bool ParseRequest(const std::vector<std::wstring>& arguments, Request* request, std::wstring* bad) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::wstring& argument = arguments[i];
    std::wstring lower = Lower(argument);
    *bad = argument;
    if (lower.empty() || lower[0] != L'/') {
      if (!request->target.empty()) return false;
      request->target = argument;
    } else if (lower == L"/t") {
      request->recursive = true;
    } else if (lower == L"/c") {
      request->continue_on_error = true;
    } else if (lower == L"/q") {
      request->quiet = true;
    } else if (lower == L"/reset") {
      request->reset = true;
    } else if (lower.compare(0, 13, L"/inheritance:") == 0 && lower.size() == 14 &&
               (lower[13] == L'e' || lower[13] == L'd' || lower[13] == L'r')) {
      request->inheritance = lower[13];
    } else if (lower == L"/grant" || lower == L"/grant:r") {
      request->replace_grants = lower == L"/grant:r";
      std::size_t first = i + 1;
      while (i + 1 < arguments.size() && !arguments[i + 1].empty() && arguments[i + 1][0] != L'/') {
        Grant grant;
        *bad = arguments[i + 1];
        if (!ParseGrant(arguments[++i], &grant)) return false;
        request->grants.push_back(grant);
      }
      if (i + 1 == first) return false;
    } else {
      return false;
    }
  }
  *bad = {};
  if (request->target.empty()) return false;
  return request->reset || request->inheritance != 0 || !request->grants.empty();
}

platform::Win32Error Apply(const Request& request, const std::wstring& path) {
  StoredAccessList list;
  platform::Win32Error error = ExplicitAccessList(path, &list);
  if (error != platform::kErrorSuccess) return error;
  if (request.inheritance == L'd') {
    // Copies what is inherited now into explicit entries before cutting the inheritance.
    AccessList effective;
    error = EffectiveAccessListOf(path, &effective);
    if (error != platform::kErrorSuccess) return error;
    list.entries.clear();
    for (AccessEntry entry : effective.entries) {
      entry.flags &= ~kInheritedAce;
      list.entries.push_back(entry);
    }
  }
  if (request.inheritance) list.protected_dacl = request.inheritance != L'e';
  if (request.reset) {
    list.entries.clear();
    list.protected_dacl = false;
  }
  for (const Grant& grant : request.grants) {
    if (request.replace_grants) {
      std::erase_if(list.entries, [&](const AccessEntry& entry) {
        return entry.allow && entry.sid == grant.sid;
      });
    }
    list.entries.push_back({grant.sid, grant.rights, grant.flags, true});
  }
  return StoreAccessList(path, list);
}

std::string MessageOf(platform::Win32Error error) {
  switch (error) {
    case platform::kErrorFileNotFound:
      return "The system cannot find the file specified.";
    case platform::kErrorPathNotFound:
      return "The system cannot find the path specified.";
    case platform::kErrorAccessDenied:
      return "Access is denied.";
    default:
      return "Error " + std::to_string(error) + ".";
  }
}

struct Tally {
  int processed = 0;
  int failed = 0;
  platform::Win32Error last_error = 0;
};

// False when the run must stop (an error without /C).
bool ApplyTree(const Request& request, const std::wstring& path, Tally* tally,
               std::string* output) {
  platform::Win32Error error = Apply(request, path);
  if (error != platform::kErrorSuccess) {
    *output += ToUtf8(path) + ": " + MessageOf(error) + "\r\n";
    ++tally->failed;
    tally->last_error = error;
    return request.continue_on_error;
  }
  ++tally->processed;
  if (!request.quiet) *output += "processed file: " + ToUtf8(path) + "\r\n";
  if (!request.recursive) return true;
  platform::FileStatus status;
  if (platform::GetFileStatus(path, &status) != platform::kErrorSuccess ||
      !(status.attributes & platform::kAttributeDirectory) ||
      (status.attributes & platform::kAttributeReparsePoint)) {
    return true;
  }
  std::vector<platform::DirectoryEntry> entries;
  if (platform::ListDirectory(path, &entries) != platform::kErrorSuccess) return true;
  for (const platform::DirectoryEntry& entry : entries) {
    // Links are not entered, nor changed through.
    if (entry.status.attributes & platform::kAttributeReparsePoint) continue;
    std::wstring child = path + (path.back() == L'\\' ? L"" : L"\\") + entry.name;
    if (!ApplyTree(request, child, tally, output)) return false;
  }
  return true;
}

}  // namespace

int RunIcacls(const std::vector<std::wstring>& arguments, std::string* output) {
  Request request;
  std::wstring bad;
  if (!ParseRequest(arguments, &request, &bad)) {
    *output +=
        bad.empty() ? "Invalid parameter\r\n" : "Invalid parameter \"" + ToUtf8(bad) + "\"\r\n";
    return platform::kErrorInvalidParameter;
  }
  Tally tally;
  ApplyTree(request, request.target, &tally, output);
  *output += "Successfully processed " + std::to_string(tally.processed) +
             " files; Failed processing " + std::to_string(tally.failed) + " files\r\n";
  return static_cast<int>(tally.last_error);
}

}  // namespace sim::internal
