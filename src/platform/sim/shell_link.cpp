#include "platform/shell_link.h"

#include <string>

#include "platform/files.h"
#include "platform/sim/text.h"

namespace platform {
namespace {

// The simulated shell stores a link as a small UTF-8 record of its fields, one per line, behind
// a first line that marks it as a link; only this reader understands it.
// E_FAIL, as the shell answers for a file that holds no link.
constexpr Win32Error kNotALink = 0x80004005;
constexpr const char* kMagic = "[Vellmora simulated shell link]";
constexpr const char* kFields[] = {"target", "arguments", "working_directory", "description",
                                   "icon_location"};

std::wstring* FieldOf(ShellLink* link, const std::string& name) {
  if (name == "target") return &link->target;
  if (name == "arguments") return &link->arguments;
  if (name == "working_directory") return &link->working_directory;
  if (name == "description") return &link->description;
  if (name == "icon_location") return &link->icon_location;
  return nullptr;
}

// A field's value on one line: backslash, carriage return and line feed escaped.
std::string Escape(const std::wstring& value) {
  std::string out;
  for (char c : sim::internal::ToUtf8(value)) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

std::wstring Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      ++i;
      out += text[i] == 'n' ? '\n' : text[i] == 'r' ? '\r' : text[i];
    } else {
      out += text[i];
    }
  }
  return sim::internal::FromUtf8(out);
}

}  // namespace

Win32Error SaveShellLinkW(const Path& link_path, const ShellLink& link) {
  ShellLink saved = link;
  saved.icon_location.clear();  // the link object is given no icon of its own
  std::string text = std::string(kMagic) + "\n";
  for (const char* name : kFields) text += std::string(name) + "=" + Escape(*FieldOf(&saved, name)) + "\n";
  UniqueHandle file;
  if (Win32Error error = CreateFileW(link_path, kGenericWrite, 0, kCreateAlways, 0, &file)) {
    return error;
  }
  std::uint32_t written = 0;
  if (Win32Error error =
          WriteFile(file.Get(), text.data(), static_cast<std::uint32_t>(text.size()), &written)) {
    return error;
  }
  return written == text.size() ? kErrorSuccess : kErrorWriteFault;
}

Win32Error LoadShellLinkW(const Path& link_path, ShellLink* link) {
  UniqueHandle file;
  if (Win32Error error = CreateFileW(link_path, kGenericRead, kShareRead, kOpenExisting, 0, &file)) {
    return error;
  }
  std::string text;
  char buffer[4096];
  for (;;) {
    std::uint32_t read = 0;
    if (Win32Error error = ReadFile(file.Get(), buffer, sizeof buffer, &read)) return error;
    if (read == 0) break;
    text.append(buffer, read);
  }
  const std::string magic = std::string(kMagic) + "\n";
  if (text.compare(0, magic.size(), magic) != 0) return kNotALink;
  ShellLink loaded;
  std::size_t position = magic.size();
  while (position < text.size()) {
    std::size_t end = text.find('\n', position);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(position, end - position);
    position = end + 1;
    const std::size_t equals = line.find('=');
    std::wstring* field = equals == std::string::npos ? nullptr : FieldOf(&loaded, line.substr(0, equals));
    if (!field) return kNotALink;
    *field = Unescape(line.substr(equals + 1));
  }
  *link = loaded;
  return kErrorSuccess;
}

}  // namespace platform
