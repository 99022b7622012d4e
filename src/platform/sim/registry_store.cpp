#include "platform/sim/registry_store.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <sstream>

#include "platform/sim/machine.h"
#include "platform/sim/shared_store.h"
#include "platform/sim/text.h"

namespace sim::internal {
namespace {

using platform::RegistryRoot;

constexpr char kHeader[] = "Windows Registry Editor Version 5.00";

// --- Text form -------------------------------------------------------------------------------

std::string Quoted(const std::wstring& text) {
  std::string out = "\"";
  for (char c : ToUtf8(text)) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// The text of a REG_SZ value when its data is a clean string: UTF-16LE, one terminating zero,
// no control characters. Anything else is kept as bytes.
bool CleanString(const std::vector<std::uint8_t>& data, std::wstring* text) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  std::vector<char16_t> units;
  for (size_t i = 0; i < data.size(); i += 2) {
    units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  if (units.back() != 0) return false;
  units.pop_back();
  text->clear();
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return false;
    }
    if (c < 0x20) return false;
    text->push_back(static_cast<wchar_t>(c));
  }
  return true;
}

std::vector<std::uint8_t> StringData(const std::wstring& text) {
  std::vector<std::uint8_t> data;
  auto unit = [&](char32_t u) {
    data.push_back(static_cast<std::uint8_t>(u & 0xFF));
    data.push_back(static_cast<std::uint8_t>(u >> 8));
  };
  for (wchar_t wc : text) {
    char32_t c = static_cast<char32_t>(wc);
    if (c >= 0x10000) {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      unit(c);
    }
  }
  unit(0);
  return data;
}

std::string FormatData(const RegistryValue& value) {
  std::wstring text;
  if (value.type == platform::kRegSz && CleanString(value.data, &text)) return Quoted(text);
  char buffer[16];
  if (value.type == platform::kRegDword && value.data.size() == 4) {
    std::uint32_t number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                           (static_cast<std::uint32_t>(value.data[3]) << 24);
    std::snprintf(buffer, sizeof buffer, "%08x", number);
    return std::string("dword:") + buffer;
  }
  std::string out;
  if (value.type == platform::kRegBinary) {
    out = "hex:";
  } else {
    std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
    out = buffer;
  }
  for (size_t i = 0; i < value.data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, i == 0 ? "%02x" : ",%02x", value.data[i]);
    out += buffer;
  }
  return out;
}

void FormatNode(const RegistryNode& node, const std::string& path, std::string& out) {
  if (node.text_stale) {
    std::ostringstream block;
    block << "\n[" << path << "]\n; id " << node.id << "\n";
    for (const RegistryValue& value : node.values) {
      block << (value.name.empty() ? std::string("@") : Quoted(value.name)) << "="
            << FormatData(value) << "\n";
    }
    node.path_text = path;
    node.text = block.str();
    node.text_stale = false;
  }
  out += node.text;
  for (const auto& [folded, child] : node.children) {
    if (child->path_text.empty()) child->path_text = node.path_text + "\\" + ToUtf8(child->name);
    FormatNode(*child, child->path_text, out);
  }
}

// Reads a quoted string starting at text[at] (the opening quote); at ends after the closing one.
bool ParseQuoted(const std::string& text, size_t* at, std::wstring* value) {
  if (*at >= text.size() || text[*at] != '"') return false;
  std::string raw;
  for (size_t i = *at + 1; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      raw += text[++i];
    } else if (text[i] == '"') {
      *at = i + 1;
      *value = FromUtf8(raw);
      return true;
    } else {
      raw += text[i];
    }
  }
  return false;
}

bool ParseHexBytes(const std::string& text, std::vector<std::uint8_t>* data) {
  data->clear();
  std::string compact;
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\\') compact += c;
  }
  if (compact.empty()) return true;
  std::istringstream in(compact);
  std::string byte;
  while (std::getline(in, byte, ',')) {
    if (byte.size() != 2) return false;
    char* end = nullptr;
    unsigned long number = std::strtoul(byte.c_str(), &end, 16);
    if (*end != '\0') return false;
    data->push_back(static_cast<std::uint8_t>(number));
  }
  return true;
}

bool ParseData(const std::string& text, RegistryValue* value) {
  if (!text.empty() && text[0] == '"') {
    size_t at = 0;
    std::wstring string;
    if (!ParseQuoted(text, &at, &string) || at != text.size()) return false;
    value->type = platform::kRegSz;
    value->data = StringData(string);
    return true;
  }
  if (text.compare(0, 6, "dword:") == 0) {
    char* end = nullptr;
    unsigned long number = std::strtoul(text.c_str() + 6, &end, 16);
    if (*end != '\0' || text.size() != 14) return false;
    value->type = platform::kRegDword;
    value->data = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                   static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
    return true;
  }
  if (text.compare(0, 4, "hex:") == 0) {
    value->type = platform::kRegBinary;
    return ParseHexBytes(text.substr(4), &value->data);
  }
  if (text.compare(0, 4, "hex(") == 0) {
    size_t close = text.find("):");
    if (close == std::string::npos) return false;
    char* end = nullptr;
    value->type = static_cast<std::uint32_t>(std::strtoul(text.c_str() + 4, &end, 16));
    if (end != text.c_str() + close) return false;
    return ParseHexBytes(text.substr(close + 2), &value->data);
  }
  return false;
}

bool SplitKeyPath(const std::wstring& path, RegistryRoot* root, std::vector<std::wstring>* parts) {
  std::vector<std::wstring> all = Split(path, L'\\');
  if (all[0] == L"HKEY_LOCAL_MACHINE") {
    *root = RegistryRoot::kLocalMachine;
  } else if (all[0] == L"HKEY_CURRENT_USER") {
    *root = RegistryRoot::kCurrentUser;
  } else {
    return false;
  }
  parts->assign(all.begin() + 1, all.end());
  for (const std::wstring& part : *parts) {
    if (part.empty()) return false;
  }
  return true;
}

// --- The process's copy of registry.txt ------------------------------------------------------

struct RegistryState {
  std::mutex lock;
  std::uint64_t epoch = 0;
  SharedStore store;
  RegistryTree tree;
};

RegistryState& State() {
  static RegistryState* state = new RegistryState;
  return *state;
}

// Brings the tree up to date with registry.txt; the caller holds state.lock.
void Refresh(RegistryState& state) {
  std::uint64_t epoch = MachineEpoch();
  if (state.epoch != epoch) {
    state.epoch = epoch;
    state.store = SharedStore(Root() + "/registry.txt");
  }
  std::string body;
  if (!state.store.ReadIfChanged(&body)) return;
  std::string error;
  RegistryTree tree;
  if (!ParseRegistry(body, &tree, &error)) Fatal(state.store.path() + ": " + error);
  state.tree = std::move(tree);
}

}  // namespace

RegistryValue* RegistryNode::FindValue(const std::wstring& value_name) {
  for (RegistryValue& value : values) {
    if (EqualsIgnoringCase(value.name, value_name)) return &value;
  }
  return nullptr;
}

bool RegistryNode::RemoveValue(const std::wstring& value_name) {
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (EqualsIgnoringCase(it->name, value_name)) {
      values.erase(it);
      ValuesChanged();
      return true;
    }
  }
  return false;
}

RegistryNode* RegistryNode::FindChild(const std::wstring& child_name) const {
  auto it = children.find(Folded(child_name));
  return it == children.end() ? nullptr : it->second.get();
}

RegistryTree::RegistryTree() {
  local_machine.name = L"HKEY_LOCAL_MACHINE";
  local_machine.id = 1;
  current_user.name = L"HKEY_CURRENT_USER";
  current_user.id = 2;
}

RegistryNode* RegistryTree::Root(RegistryRoot root) {
  return root == RegistryRoot::kLocalMachine ? &local_machine : &current_user;
}

RegistryNode* RegistryTree::Find(RegistryRoot root, const std::vector<std::wstring>& path) {
  RegistryNode* node = Root(root);
  for (const std::wstring& part : path) {
    node = node->FindChild(part);
    if (!node) return nullptr;
  }
  return node;
}

RegistryNode* RegistryTree::Create(RegistryRoot root, const std::vector<std::wstring>& path) {
  RegistryNode* node = Root(root);
  for (const std::wstring& part : path) {
    RegistryNode* child = node->FindChild(part);
    if (!child) {
      auto created = std::make_unique<RegistryNode>();
      created->name = part;
      created->id = next_id++;
      child = created.get();
      node->children.emplace(Folded(part), std::move(created));
    }
    node = child;
  }
  return node;
}

RegistryTree InitialRegistry() {
  RegistryTree tree;
  tree.Create(RegistryRoot::kLocalMachine, {L"SOFTWARE", L"WOW6432Node"});
  tree.Create(RegistryRoot::kLocalMachine, {L"SYSTEM"});
  tree.Create(RegistryRoot::kCurrentUser, {L"Software"});
  return tree;
}

std::string FormatRegistry(const RegistryTree& tree) {
  std::string out = std::string(kHeader) + "\n; next key id " + std::to_string(tree.next_id) + "\n";
  FormatNode(tree.local_machine, "HKEY_LOCAL_MACHINE", out);
  FormatNode(tree.current_user, "HKEY_CURRENT_USER", out);
  return out;
}

bool ParseRegistry(const std::string& text, RegistryTree* tree, std::string* error) {
  RegistryTree parsed;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  RegistryNode* key = nullptr;
  // Keys of a hand-written file may come without ids; they get fresh ones once every recorded id
  // is known.
  std::vector<RegistryNode*> without_id;
  std::uint64_t next_id = parsed.next_id;
  auto fail = [&](const std::string& why) {
    *error = "line " + std::to_string(number) + ": " + why;
    return false;
  };
  while (std::getline(in, line)) {
    ++number;
    // Long hex data may continue on the next lines, each ending in a backslash.
    while (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos) {
      std::string next;
      if (!std::getline(in, next)) break;
      ++number;
      line.pop_back();
      line += Trim(next);
    }
    std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed == kHeader) continue;
    if (trimmed.compare(0, 14, "; next key id ") == 0) {
      next_id = std::max<std::uint64_t>(next_id, std::strtoull(trimmed.c_str() + 14, nullptr, 10));
      continue;
    }
    if (trimmed.compare(0, 5, "; id ") == 0) {
      if (!key) return fail("key id outside a key");
      key->id = std::strtoull(trimmed.c_str() + 5, nullptr, 10);
      next_id = std::max(next_id, key->id + 1);
      std::erase(without_id, key);
      continue;
    }
    if (trimmed[0] == ';') continue;
    if (trimmed[0] == '[') {
      if (trimmed.back() != ']') return fail("unterminated key name");
      RegistryRoot root;
      std::vector<std::wstring> parts;
      if (!SplitKeyPath(FromUtf8(trimmed.substr(1, trimmed.size() - 2)), &root, &parts)) {
        return fail("not a key of HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER");
      }
      RegistryNode* existing = parsed.Find(root, parts);
      key = parsed.Create(root, parts);
      if (!existing && !parts.empty()) without_id.push_back(key);
      continue;
    }
    if (!key) return fail("value outside a key");
    RegistryValue value;
    size_t at = 0;
    if (trimmed[0] == '@') {
      at = 1;
    } else if (!ParseQuoted(trimmed, &at, &value.name)) {
      return fail("bad value name");
    }
    if (at >= trimmed.size() || trimmed[at] != '=') return fail("expected = after the name");
    if (!ParseData(trimmed.substr(at + 1), &value)) return fail("bad value data");
    if (RegistryValue* existing = key->FindValue(value.name)) {
      *existing = std::move(value);
    } else {
      key->values.push_back(std::move(value));
    }
  }
  for (RegistryNode* node : without_id) node->id = next_id++;
  parsed.next_id = next_id;
  *tree = std::move(parsed);
  return true;
}

platform::Win32Error ReadRegistry(const std::function<platform::Win32Error(RegistryTree&)>& use) {
  RegistryState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  Refresh(state);
  return use(state.tree);
}

platform::Win32Error ChangeRegistry(
    const std::function<platform::Win32Error(RegistryTree&, bool* changed)>& change) {
  MachineLock machine(Root());
  RegistryState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  Refresh(state);
  bool changed = false;
  platform::Win32Error error = change(state.tree, &changed);
  if (changed && !state.store.Write(FormatRegistry(state.tree))) {
    // The tree in memory is ahead of the file now; read the file again next time.
    state.store = SharedStore(state.store.path());
    return platform::kErrorWriteFault;
  }
  return error;
}

}  // namespace sim::internal
