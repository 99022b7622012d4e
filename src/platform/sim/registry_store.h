#pragma once
// The machine's registry: one tree of keys and values per root, kept in registry.txt in a
// .reg-like text form (quoted strings, dword:, hex(<type>): bytes) that processes share. Every
// key carries an id that is never reused, so that a handle notices when its key was deleted,
// even when another key of the same name has taken its place since.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace sim::internal {

struct RegistryValue {
  std::wstring name;  // empty: the key's default value
  std::uint32_t type = platform::kRegNone;
  std::vector<std::uint8_t> data;
};

struct RegistryNode {
  std::wstring name;
  std::uint64_t id = 0;
  std::vector<RegistryValue> values;  // in the order they were created
  std::map<std::wstring, std::unique_ptr<RegistryNode>> children;  // by folded name

  RegistryValue* FindValue(const std::wstring& value_name);
  bool RemoveValue(const std::wstring& value_name);
  RegistryNode* FindChild(const std::wstring& child_name) const;
  // Every change of values must say so: the node's text in registry.txt is kept until then, so
  // that saving a large registry after each change stays cheap.
  void ValuesChanged() { text_stale = true; }

  mutable std::string path_text;  // as written in the key's header line
  mutable std::string text;       // the header line, the id and the values
  mutable bool text_stale = true;
};

struct RegistryTree {
  RegistryNode local_machine;
  RegistryNode current_user;
  std::uint64_t next_id = 3;

  RegistryTree();
  RegistryNode* Root(platform::RegistryRoot root);
  RegistryNode* Find(platform::RegistryRoot root, const std::vector<std::wstring>& path);
  // The key at path, created with any missing parents; new keys get fresh ids.
  RegistryNode* Create(platform::RegistryRoot root, const std::vector<std::wstring>& path);
};

// HKLM\SOFTWARE (with its WOW6432Node), HKLM\SYSTEM and HKCU\Software.
RegistryTree InitialRegistry();
std::string FormatRegistry(const RegistryTree& tree);
bool ParseRegistry(const std::string& text, RegistryTree* tree, std::string* error);

// Runs use on the registry as registry.txt holds it now.
platform::Win32Error ReadRegistry(const std::function<platform::Win32Error(RegistryTree&)>& use);
// Runs change on the current registry under the machine lock and saves the tree when change sets
// *changed.
platform::Win32Error ChangeRegistry(
    const std::function<platform::Win32Error(RegistryTree&, bool* changed)>& change);

}  // namespace sim::internal
