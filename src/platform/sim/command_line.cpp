#include "platform/sim/command_line.h"

#include "platform/sim/path_mapping.h"
#include "platform/sim/text.h"

namespace sim::internal {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

bool IsLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

}  // namespace

std::vector<std::wstring> SplitCommandLine(const std::wstring& command_line) {
  std::vector<std::wstring> arguments;
  std::size_t at = 0;
  const std::size_t size = command_line.size();
  while (at < size && IsBlank(command_line[at])) ++at;
  if (at == size) return arguments;

  std::wstring program;
  if (command_line[at] == L'"') {
    std::size_t close = command_line.find(L'"', at + 1);
    program = command_line.substr(
        at + 1, close == std::wstring::npos ? std::wstring::npos : close - at - 1);
    at = close == std::wstring::npos ? size : close + 1;
  }
  while (at < size && !IsBlank(command_line[at])) program += command_line[at++];
  arguments.push_back(program);

  for (;;) {
    while (at < size && IsBlank(command_line[at])) ++at;
    if (at == size) break;
    std::wstring argument;
    bool quoted = false;
    while (at < size && (quoted || !IsBlank(command_line[at]))) {
      std::size_t backslashes = 0;
      while (at < size && command_line[at] == L'\\') {
        ++backslashes;
        ++at;
      }
      if (at < size && command_line[at] == L'"') {
        argument.append(backslashes / 2, L'\\');
        if (backslashes % 2 == 1) {
          argument += L'"';
        } else if (quoted && at + 1 < size && command_line[at + 1] == L'"') {
          argument += L'"';
          ++at;
        } else {
          quoted = !quoted;
        }
        ++at;
      } else {
        argument.append(backslashes, L'\\');
        if (at < size && (quoted || !IsBlank(command_line[at]))) argument += command_line[at++];
      }
    }
    arguments.push_back(argument);
  }
  return arguments;
}

std::string HostArgument(const std::wstring& argument) {
  for (std::size_t i = 0; i + 2 < argument.size(); ++i) {
    if (!IsLetter(argument[i]) || argument[i + 1] != L':' ||
        (argument[i + 2] != L'\\' && argument[i + 2] != L'/')) {
      continue;
    }
    MappedPath mapped;
    if (MapPath(argument.substr(i), &mapped) != platform::kErrorSuccess) continue;
    return ToUtf8(argument.substr(0, i)) + mapped.host;
  }
  return ToUtf8(argument);
}

}  // namespace sim::internal
