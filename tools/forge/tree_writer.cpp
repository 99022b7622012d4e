#include "forge/tree_writer.h"

#include <fstream>

#include "forge/path_text.h"

namespace forge {

namespace {

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

// Relative, without "." or ".." components or a drive: stays inside the folder it is joined to.
bool StaysInside(const std::string& path) {
  if (path.empty() || path[0] == '/' || path[0] == '\\' || path.find(':') != std::string::npos)
    return false;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("/\\", start);
    if (end == std::string::npos) end = path.size();
    const std::string component = path.substr(start, end - start);
    if (component.empty() || component == "." || component == "..") return false;
    start = end + 1;
  }
  return true;
}

std::filesystem::path Under(const std::filesystem::path& dir, const std::string& path) {
  return dir / std::filesystem::path(reinterpret_cast<const char8_t*>(path.c_str()));
}

}  // namespace

bool WriteContent(const Content& content, const std::filesystem::path& file, std::string* error) {
  std::ofstream stream(file, std::ios::binary | std::ios::trunc);
  if (!stream) return Fail(error, "cannot create " + PathText(file));
  content.Emit([&](std::string_view piece) {
    stream.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    return static_cast<bool>(stream);
  });
  stream.close();
  if (stream.fail()) return Fail(error, "cannot write " + PathText(file));
  return true;
}

bool WriteTree(const std::vector<Entry>& entries, const std::filesystem::path& dir,
               std::string* error) {
  std::error_code code;
  std::filesystem::create_directories(dir, code);
  if (code) return Fail(error, "cannot create " + PathText(dir) + ": " + code.message());
  for (const Entry& entry : entries) {
    if (!StaysInside(entry.path))
      return Fail(error, "a path that leaves the folder cannot be laid out: " + entry.path);
    const std::filesystem::path target = Under(dir, entry.path);
    std::filesystem::create_directories(target.parent_path(), code);
    if (code) return Fail(error, "cannot create " + PathText(target.parent_path()));
    switch (entry.kind) {
      case EntryKind::kDirectory:
        std::filesystem::create_directories(target, code);
        break;
      case EntryKind::kFile:
        if (!WriteContent(entry.content, target, error)) return false;
        break;
      case EntryKind::kUnixSymlink:
        std::filesystem::create_symlink(entry.target, target, code);
        break;
      case EntryKind::kHardLink:
        if (!StaysInside(entry.target))
          return Fail(error, "a hard link's target must be an entry: " + entry.target);
        std::filesystem::create_hard_link(Under(dir, entry.target), target, code);
        break;
      default:
        return Fail(error, "this kind of entry has no form in a folder: " + entry.path);
    }
    if (code) return Fail(error, "cannot lay out " + entry.path + ": " + code.message());
  }
  return true;
}

}  // namespace forge
