#include "standins/com_registration_block.h"

#include <algorithm>

namespace standins {
namespace {

bool Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

std::vector<std::string_view> Components(std::string_view key) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t slash = key.find('\\', start);
    parts.push_back(key.substr(start, slash == std::string_view::npos ? slash : slash - start));
    if (slash == std::string_view::npos) return parts;
    start = slash + 1;
  }
}

bool ValidKey(std::string_view key) {
  if (key.empty()) return false;
  for (std::string_view part : Components(key))
    if (part.empty()) return false;
  return true;
}

std::string ReplaceAll(std::string text, std::string_view token, const std::string& value) {
  for (std::size_t at = text.find(token); at != std::string::npos;
       at = text.find(token, at + value.size()))
    text.replace(at, token.size(), value);
  return text;
}

}  // namespace

bool FindRegistrationBlock(std::string_view image, std::string_view* block, std::string* error) {
  // A binary that parses blocks also holds the header text alone, zero-terminated: not a block.
  auto next = [&](std::size_t from) {
    std::size_t at = image.find(kRegistrationBlockHeader, from);
    while (at != std::string_view::npos && at + kRegistrationBlockHeader.size() < image.size() &&
           image[at + kRegistrationBlockHeader.size()] == '\0')
      at = image.find(kRegistrationBlockHeader, at + 1);
    return at;
  };
  const std::size_t start = next(0);
  if (start == std::string_view::npos)
    return Fail(error, "the binary carries no COM registration block");
  if (next(start + 1) != std::string_view::npos)
    return Fail(error, "the binary carries more than one COM registration block");
  const std::size_t end = image.find('\0', start);
  if (end == std::string_view::npos)
    return Fail(error, "the COM registration block has no terminating zero byte");
  *block = image.substr(start, end - start);
  return true;
}

bool ParseRegistrationBlock(std::string_view block, std::vector<RegistrationEntry>* entries,
                            std::string* error) {
  entries->clear();
  if (block.substr(0, kRegistrationBlockHeader.size()) != kRegistrationBlockHeader)
    return Fail(error, "the COM registration block does not start with its header");
  std::size_t at = kRegistrationBlockHeader.size();
  for (int line_number = 2; at < block.size(); ++line_number) {
    const std::size_t end = block.find('\n', at);
    std::string where = "COM registration block line ";
    where.append(std::to_string(line_number));
    if (end == std::string_view::npos) return Fail(error, where + " has no line feed");
    std::string_view line = block.substr(at, end - at);
    at = end + 1;
    if (line.find('\r') != std::string_view::npos)
      return Fail(error, where + " holds a carriage return");
    const std::size_t first = line.find('|');
    const std::size_t second =
        first == std::string_view::npos ? first : line.find('|', first + 1);
    if (second == std::string_view::npos)
      return Fail(error, where + " is not key|value|data");
    RegistrationEntry entry;
    entry.key = std::string(line.substr(0, first));
    entry.value_name = std::string(line.substr(first + 1, second - first - 1));
    entry.data = std::string(line.substr(second + 1));
    if (!ValidKey(entry.key)) return Fail(error, where + " names no valid key");
    if (entry.value_name.empty()) return Fail(error, where + " names no value (@ is the default)");
    if (entry.value_name == "@") entry.value_name.clear();
    entries->push_back(std::move(entry));
  }
  if (entries->empty()) return Fail(error, "the COM registration block holds no entry");
  return true;
}

std::string ExpandModuleTokens(const std::string& data, const std::string& module_path) {
  const std::size_t slash = module_path.find_last_of("\\/");
  const std::string directory =
      slash == std::string::npos ? std::string() : module_path.substr(0, slash);
  // The longer token first: "%MODULE%" is not a prefix of "%MODULE_DIR%", but keep it obvious.
  return ReplaceAll(ReplaceAll(data, "%MODULE_DIR%", directory), "%MODULE%", module_path);
}

std::vector<std::string> OwningKeys(const std::vector<RegistrationEntry>& entries) {
  std::vector<std::string> keys;
  for (const RegistrationEntry& entry : entries) {
    std::vector<std::string_view> parts = Components(entry.key);
    std::size_t depth = 1;
    for (std::string_view container : {"CLSID", "AppID", "Interface", "TypeLib"})
      if (EqualsIgnoringCase(parts[0], container)) depth = 2;
    if (parts.size() < depth) depth = parts.size();
    std::string key(parts[0]);
    if (depth == 2) key.append(1, '\\').append(parts[1]);
    bool seen = false;
    for (const std::string& known : keys) seen = seen || EqualsIgnoringCase(known, key);
    if (!seen) keys.push_back(std::move(key));
  }
  return keys;
}

bool ApplyRegistration(const std::vector<RegistrationEntry>& entries,
                       const std::string& module_path, RegistrationTarget* target,
                       std::string* error) {
  for (const RegistrationEntry& entry : entries)
    if (!target->SetString(entry.key, entry.value_name,
                           ExpandModuleTokens(entry.data, module_path), error))
      return false;
  return true;
}

bool RemoveRegistration(const std::vector<RegistrationEntry>& entries, RegistrationTarget* target,
                        std::string* error) {
  bool removed = true;
  for (const std::string& key : OwningKeys(entries)) {
    std::string one;
    if (!target->DeleteTree(key, &one)) {
      if (removed && error) *error = one;
      removed = false;
    }
  }
  return removed;
}

bool RegisterFromImage(std::string_view image, const std::string& module_path,
                       RegistrationTarget* target, std::string* error) {
  std::string_view block;
  std::vector<RegistrationEntry> entries;
  return FindRegistrationBlock(image, &block, error) &&
         ParseRegistrationBlock(block, &entries, error) &&
         ApplyRegistration(entries, module_path, target, error);
}

bool UnregisterFromImage(std::string_view image, RegistrationTarget* target, std::string* error) {
  std::string_view block;
  std::vector<RegistrationEntry> entries;
  return FindRegistrationBlock(image, &block, error) &&
         ParseRegistrationBlock(block, &entries, error) &&
         RemoveRegistration(entries, target, error);
}

}  // namespace standins
