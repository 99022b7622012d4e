#include "package/archive_listing_scan.h"

#include <unordered_set>

#include "package/archive_path.h"

namespace vellmora {
namespace {

constexpr std::string_view kPathPrefix = "path = ";

std::string FoldAsciiToLower(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

std::string_view WithoutTrailingBlanks(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
    line.remove_suffix(1);
  }
  return line;
}

bool IsSeparator(std::string_view line) {
  return line.size() >= 10 && line.find("----------") != std::string_view::npos;
}

// An empty value loses its blank after the equals sign when the line is trimmed, so only a
// property that names something matches.
bool IsUnsafeMetadata(std::string_view line) {
  // Most lines of a listing are other properties; their first letter rules them out cheaply.
  if (line.empty()) return false;
  switch (line.front()) {
    case 's':
    case 'h':
    case 'r':
    case 'a':
    case 'i':
      break;
    default:
      return false;
  }
  static constexpr std::string_view kLinkPrefixes[] = {"symbolic link = ", "hard link = ",
                                                       "reparse = ", "reparse point = "};
  for (std::string_view prefix : kLinkPrefixes) {
    if (line.substr(0, prefix.size()) == prefix) return true;
  }
  // 7-Zip names the anti-item property "Anti"; "Is Anti" is kept for any tool that spells it so.
  return line == "alternate stream = +" || line == "anti = +" || line == "is anti = +";
}

// Marker alternatives separated by '|'; an alternative that fails the name rules, the empty one
// included, makes the marker invalid unless an earlier alternative already matched.
bool CheckMarker(const std::string& marker, const std::unordered_set<std::string>& entries,
                 std::string* reason) {
  if (marker.empty()) {
    *reason = "required path marker is empty";
    return false;
  }
  std::string_view rest = marker;
  for (;;) {
    std::size_t bar = rest.find('|');
    std::string alternative;
    if (!NormaliseArchivePath(rest.substr(0, bar), &alternative)) {
      *reason = "required path marker is invalid";
      return false;
    }
    if (entries.count(alternative) != 0) return true;
    if (bar == std::string_view::npos) break;
    rest.remove_prefix(bar + 1);
  }
  *reason = "required path missing: " + marker;
  return false;
}

}  // namespace

bool ScanArchiveListing(std::string_view listing, const std::vector<std::string>& required_markers,
                        const std::vector<std::string>& allowed_roots, std::string* reason) {
  const std::string text = FoldAsciiToLower(listing);
  const NormalisedRoots roots = NormaliseRoots(allowed_roots);
  // Only the number of listed entries and whether a path is among them are ever asked for.
  std::unordered_set<std::string> seen;
  bool separator_seen = false;
  bool unsafe_metadata = false;

  std::string_view rest = text;
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    std::string_view line = WithoutTrailingBlanks(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);

    if (!separator_seen) {
      separator_seen = IsSeparator(line);
      continue;
    }
    if (line.substr(0, kPathPrefix.size()) == kPathPrefix) {
      std::string entry;
      if (!NormaliseArchivePath(line.substr(kPathPrefix.size()), &entry) ||
          !IsEntryAllowedIn(entry, roots) || seen.size() >= kMaxArchiveEntries ||
          !seen.insert(std::move(entry)).second) {
        *reason = "archive contains an unsafe, duplicate or disallowed path";
        return false;
      }
    } else if (IsUnsafeMetadata(line)) {
      unsafe_metadata = true;
    }
  }

  if (unsafe_metadata) {
    *reason = "archive contains unsafe link/reparse metadata";
    return false;
  }
  if (!separator_seen || seen.empty()) {
    *reason = "archive listing contains no entries";
    return false;
  }
  for (const std::string& marker : required_markers) {
    if (!CheckMarker(marker, seen, reason)) return false;
  }
  return true;
}

}  // namespace vellmora
