#include "platform/sim/path_mapping.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cctype>
#include <cwctype>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/sim/text.h"

namespace sim::internal {
namespace {

using platform::kErrorInvalidName;
using platform::kErrorPathNotFound;
using platform::kErrorSuccess;
using platform::Win32Error;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveSpec(const std::wstring& path, size_t at = 0) {
  return path.size() >= at + 2 && path[at + 1] == L':' && std::iswalpha(path[at]) &&
         path[at] < 0x80;
}

// Splits rest into components, resolving "." and ".." against the ones before.
void AppendComponents(const std::wstring& rest, bool trim, std::vector<std::wstring>* components) {
  for (std::wstring& part : Split(rest, L'\\')) {
    if (part.empty() || part == L".") continue;
    if (part == L"..") {
      if (!components->empty()) components->pop_back();
      continue;
    }
    if (trim && part.size() >= 2 && part.back() == L'.' && part[part.size() - 2] != L'.') {
      part.pop_back();
    }
    components->push_back(std::move(part));
  }
}

// Compares a host name with a wanted name, both in UTF-8, ignoring letter case; ASCII names (most
// of them) are compared without converting anything.
bool SameName(const char* host, const std::string& wanted, const std::wstring& wanted_wide,
              bool wanted_ascii) {
  size_t i = 0;
  for (; host[i] && i < wanted.size(); ++i) {
    unsigned char a = static_cast<unsigned char>(host[i]);
    unsigned char b = static_cast<unsigned char>(wanted[i]);
    if (a >= 0x80 || b >= 0x80) break;
    if (std::toupper(a) != std::toupper(b)) return false;
  }
  if (!host[i] && i == wanted.size()) return true;
  if (wanted_ascii && static_cast<unsigned char>(host[i]) < 0x80) return false;
  return EqualsIgnoringCase(FromUtf8(host), wanted_wide);
}

std::string ResolveComponent(const std::string& directory, const std::wstring& name) {
  std::string exact = ToUtf8(name);
  struct stat st{};
  if (lstat((directory + "/" + exact).c_str(), &st) == 0) return exact;
  DIR* dir = opendir(directory.c_str());
  if (!dir) return exact;
  bool ascii = true;
  for (char c : exact) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  std::string found = exact;
  while (dirent* entry = readdir(dir)) {
    if (SameName(entry->d_name, exact, name, ascii)) {
      found = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}

bool IsValidName(const std::wstring& name) {
  for (wchar_t c : name) {
    if (c < 0x20 || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'|' ||
        c == L'?' || c == L'*') {
      return false;
    }
  }
  return true;
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

}  // namespace

Win32Error FullPathName(const std::wstring& input, const std::wstring& current_directory,
                        std::wstring* full_path) {
  if (input.empty()) return kErrorInvalidName;
  std::wstring path = input;
  std::wstring prefix;
  if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
      (path[2] == L'?' || path[2] == L'.') && IsSeparator(path[3])) {
    prefix = std::wstring(L"\\\\") + path[2] + L"\\";
    path.erase(0, 4);
  }
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  bool trailing = !path.empty() && path.back() == L'\\';
  std::wstring root, rest;
  const std::wstring& cwd = current_directory;
  if (!prefix.empty()) {
    if (IsDriveSpec(path)) {
      root = path.substr(0, 2) + L"\\";
      rest = path.substr(2);
    } else {
      size_t end = path.find(L'\\');
      root = path.substr(0, end) + L"\\";
      rest = end == std::wstring::npos ? L"" : path.substr(end + 1);
    }
  } else if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') {
    // \\server\share is the root of a UNC path.
    size_t server_end = path.find(L'\\', 2);
    size_t share_end = server_end == std::wstring::npos ? server_end
                                                        : path.find(L'\\', server_end + 1);
    root = path.substr(0, share_end) + L"\\";
    rest = share_end == std::wstring::npos ? L"" : path.substr(share_end + 1);
  } else if (IsDriveSpec(path)) {
    root = std::wstring(1, static_cast<wchar_t>(std::towupper(path[0]))) + L":\\";
    if (path.size() > 2 && path[2] == L'\\') {
      rest = path.substr(3);
    } else if (IsDriveSpec(cwd) && std::towupper(cwd[0]) == std::towupper(path[0])) {
      rest = cwd.substr(cwd.size() > 2 ? 3 : 2) + L"\\" + path.substr(2);
    } else {
      rest = path.substr(2);
    }
  } else if (path[0] == L'\\') {
    root = cwd.substr(0, 2) + L"\\";
    rest = path.substr(1);
  } else {
    root = cwd.substr(0, 2) + L"\\";
    rest = cwd.substr(cwd.size() > 2 ? 3 : 2) + L"\\" + path;
  }
  bool trim = prefix.empty();
  std::vector<std::wstring> components;
  AppendComponents(rest, trim, &components);
  if (trim && !trailing && !components.empty()) {
    std::wstring& last = components.back();
    while (!last.empty() && (last.back() == L'.' || last.back() == L' ')) last.pop_back();
    if (last.empty()) components.pop_back();
  }
  std::wstring result = prefix + root;
  for (size_t i = 0; i < components.size(); ++i) {
    if (i > 0) result += L'\\';
    result += components[i];
  }
  if (trailing && !components.empty()) result += L'\\';
  *full_path = std::move(result);
  return kErrorSuccess;
}

Win32Error MapPath(const std::wstring& path, MappedPath* mapped) {
  std::shared_ptr<const MachineConfig> config = Config();
  std::wstring full;
  Win32Error error = FullPathName(path, config->current_directory, &full);
  if (error != kErrorSuccess) return error;
  if (full.compare(0, 4, L"\\\\?\\") == 0) full.erase(0, 4);
  if (!IsDriveSpec(full) || full.size() < 3 || full[2] != L'\\') return kErrorPathNotFound;
  char letter = static_cast<char>(std::towupper(full[0]));
  if (!config->Drive(letter)) return kErrorPathNotFound;

  std::vector<std::wstring> components;
  AppendComponents(full.substr(3), false, &components);
  for (const std::wstring& component : components) {
    if (!IsValidName(component)) return kErrorInvalidName;
  }
  MappedPath result;
  result.drive = letter;
  result.windows = std::wstring(1, static_cast<wchar_t>(letter)) + L":\\";
  std::string host = DriveFolder(letter);
  for (size_t i = 0; i < components.size(); ++i) {
    if (i > 0) result.windows += L'\\';
    result.windows += components[i];
    result.host_parent = host;
    host += "/" + ResolveComponent(host, components[i]);
  }
  result.host = host;
  result.name = components.empty() ? std::wstring() : components.back();
  *mapped = std::move(result);
  return kErrorSuccess;
}

std::string DriveFolder(char letter) { return Root() + "/drives/" + std::string(1, letter); }

std::wstring WindowsPathOfHost(const std::string& host_path) {
  std::string resolved = RealPath(host_path);
  if (resolved.empty()) return std::wstring();
  // A drive folder may itself be a host link (to a bigger disk, or to a build folder).
  for (const sim::DriveOptions& drive : Config()->drives) {
    std::string folder = RealPath(DriveFolder(drive.letter));
    if (folder.empty()) continue;
    if (resolved != folder && resolved.compare(0, folder.size() + 1, folder + "/") != 0) continue;
    std::wstring windows = std::wstring(1, static_cast<wchar_t>(drive.letter)) + L":\\";
    if (resolved.size() > folder.size() + 1) {
      std::wstring rest = FromUtf8(resolved.substr(folder.size() + 1));
      for (wchar_t& c : rest) {
        if (c == L'/') c = L'\\';
      }
      windows += rest;
    }
    return windows;
  }
  return std::wstring();
}

char DriveOfHost(const std::string& host_path) {
  std::wstring windows = WindowsPathOfHost(host_path);
  return windows.empty() ? 0 : static_cast<char>(windows[0]);
}

}  // namespace sim::internal
