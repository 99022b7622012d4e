#include <cstring>

#include "forge/forge.h"

namespace forge {

namespace {

struct HostileRow {
  Hostile hostile;
  const char* name;
};

constexpr HostileRow kHostileNames[] = {
    {Hostile::kTraversal, "traversal"},
    {Hostile::kAbsolutePath, "absolute-path"},
    {Hostile::kDriveLetter, "drive-letter"},
    {Hostile::kDeviceName, "device-name"},
    {Hostile::kDuplicateSpelling, "duplicate-spelling"},
    {Hostile::kBackslashSpelling, "backslash-spelling"},
    {Hostile::kNonAscii, "non-ascii"},
    {Hostile::kOutsideRoots, "outside-roots"},
    {Hostile::kUnixSymlink, "unix-symlink"},
    {Hostile::kWindowsSymlink, "windows-symlink"},
    {Hostile::kJunction, "junction"},
    {Hostile::kHardLink, "hard-link"},
    {Hostile::kAlternateStream, "alternate-stream"},
    {Hostile::kAntiItem, "anti-item"},
};

std::string Root(PackageKind kind) {
  return kind == PackageKind::kEngine ? "payload/ProgramFiles/Vellmora" : "payload/Instances/Pie64";
}

// The first required payload file: the one a hostile entry shadows, links to or streams on.
std::string Victim(PackageKind kind) { return RequiredPaths(kind)[1]; }

std::string Respelled(const std::string& path) {
  std::string out = path;
  bool upper = true;
  for (char& c : out) {
    if (c == '/') {
      upper = true;
    } else if (upper && c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
      upper = false;
    } else if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
      upper = false;
    } else {
      upper = false;
    }
  }
  return out;
}

}  // namespace

ExtraEntry HostileEntry(PackageKind kind, Hostile hostile) {
  const std::string root = Root(kind);
  const std::string payload = "MZ hostile entry\r\n";
  switch (hostile) {
    case Hostile::kTraversal:
      return {EntryKind::kFile, root + "/../../../evil.dll", "", payload};
    case Hostile::kAbsolutePath:
      return {EntryKind::kFile, "/evil.dll", "", payload};
    case Hostile::kDriveLetter:
      return {EntryKind::kFile, "C:/Windows/evil.dll", "", payload};
    case Hostile::kDeviceName:
      return {EntryKind::kFile, root + "/aux.txt", "", payload};
    case Hostile::kDuplicateSpelling:
      return {EntryKind::kFile, Respelled(Victim(kind)), "", payload};
    case Hostile::kBackslashSpelling: {
      std::string path = Victim(kind);
      for (char& c : path)
        if (c == '/') c = '\\';
      return {EntryKind::kFile, path, "", payload};
    }
    case Hostile::kNonAscii:
      return {EntryKind::kFile, root + "/Configura\xC3\xA7\xC3\xA3o.txt", "", payload};
    case Hostile::kOutsideRoots:
      return {EntryKind::kFile, root + "2/x.dll", "", payload};
    case Hostile::kUnixSymlink:
      return {EntryKind::kUnixSymlink, root + "/link.dll", "../../../../../etc/passwd", ""};
    case Hostile::kWindowsSymlink:
      return {EntryKind::kWindowsSymlink, root + "/winlink.dll",
              "C:\\Windows\\System32\\kernel32.dll", ""};
    case Hostile::kJunction:
      return {EntryKind::kJunction, root + "/junction", "C:\\Windows", ""};
    case Hostile::kHardLink:
      return {EntryKind::kHardLink, root + "/hardlink.bin", Victim(kind), ""};
    case Hostile::kAlternateStream:
      return {EntryKind::kAlternateStream, Victim(kind), "hidden", payload};
    case Hostile::kAntiItem:
      return {EntryKind::kAntiItem, root + "/obsolete.dll", "", ""};
  }
  return {};
}

const char* HostileName(Hostile hostile) {
  for (const HostileRow& row : kHostileNames)
    if (row.hostile == hostile) return row.name;
  return "";
}

bool ParseHostile(const std::string& name, Hostile* hostile) {
  for (const HostileRow& row : kHostileNames)
    if (name == row.name) {
      *hostile = row.hostile;
      return true;
    }
  return false;
}

}  // namespace forge
