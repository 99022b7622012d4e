#include "platform/registry.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/sim/faults.h"
#include "platform/sim/handle_table.h"
#include "platform/sim/machine.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/text.h"

namespace platform {
namespace {

using sim::internal::RegistryKeyObject;
using sim::internal::RegistryNode;
using sim::internal::RegistryTree;
using sim::internal::RegistryValue;

constexpr std::uint32_t kWriteAccess = kKeySetValue | kKeyCreateSubKey | kDelete |
                                       0x00040000 /* WRITE_DAC */ | 0x00080000 /* WRITE_OWNER */ |
                                       0x10000000 /* GENERIC_ALL */ | 0x40000000 /* GENERIC_WRITE */;

std::vector<std::wstring> SplitKey(const std::wstring& sub_key) {
  std::vector<std::wstring> parts;
  for (std::wstring& part : sim::internal::Split(sub_key, L'\\')) {
    if (!part.empty()) parts.push_back(std::move(part));
  }
  return parts;
}

// The 32-bit view of HKLM sees SOFTWARE\WOW6432Node where the 64-bit view sees SOFTWARE.
std::vector<std::wstring> Redirected(RegistryRoot root, std::vector<std::wstring> path,
                                     std::uint32_t access) {
  if (root != RegistryRoot::kLocalMachine || !(access & kKeyWow64_32Key) || path.empty() ||
      !sim::internal::EqualsIgnoringCase(path[0], L"SOFTWARE")) {
    return path;
  }
  if (path.size() >= 2 && sim::internal::EqualsIgnoringCase(path[1], L"WOW6432Node")) return path;
  path.insert(path.begin() + 1, L"WOW6432Node");
  return path;
}

std::wstring Joined(const std::vector<std::wstring>& parts) {
  std::wstring text;
  for (const std::wstring& part : parts) text += (text.empty() ? L"" : L"\\") + part;
  return text;
}

std::vector<std::wstring> UserClassesPath(const std::vector<std::wstring>& classes_path) {
  std::vector<std::wstring> path = {L"Software", L"Classes"};
  path.insert(path.end(), classes_path.begin(), classes_path.end());
  return path;
}

std::vector<std::wstring> MachineClassesPath(const std::vector<std::wstring>& classes_path,
                                             std::uint32_t access) {
  std::vector<std::wstring> path = {L"SOFTWARE", L"Classes"};
  path.insert(path.end(), classes_path.begin(), classes_path.end());
  return Redirected(RegistryRoot::kLocalMachine, std::move(path), access);
}

std::wstring FaultPath(RegistryRoot root, const std::vector<std::wstring>& path) {
  std::wstring text = root == RegistryRoot::kLocalMachine ? L"HKLM" : L"HKCU";
  for (const std::wstring& part : path) text += L"\\" + part;
  return text;
}

Win32Error Open(RegistryRoot root, const std::wstring& sub_key, std::uint32_t access,
                bool create, RegistryKey* key);

// HKEY_CLASSES_ROOT: the user's key when it exists, else the machine's, which is also where a
// new key goes.
Win32Error OpenClassesRoot(const std::wstring& sub_key, std::uint32_t access, bool create,
                           RegistryKey* key) {
  if (!key) return kErrorInvalidParameter;
  if (!sub_key.empty() && sub_key[0] == L'\\') return kErrorInvalidParameter;
  std::vector<std::wstring> classes_path = SplitKey(sub_key);
  std::vector<std::wstring> user_path = UserClassesPath(classes_path);
  bool user_key = sim::internal::ReadRegistry([&](RegistryTree& tree) {
                    return tree.Find(RegistryRoot::kCurrentUser, user_path) ? kErrorSuccess
                                                                            : kErrorFileNotFound;
                  }) == kErrorSuccess;
  Win32Error error =
      user_key ? Open(RegistryRoot::kCurrentUser, Joined(user_path), access, create, key)
               : Open(RegistryRoot::kLocalMachine,
                      L"SOFTWARE\\Classes" + (sub_key.empty() ? L"" : L"\\" + sub_key), access,
                      create, key);
  if (error != kErrorSuccess) return error;
  auto object = std::get<std::shared_ptr<RegistryKeyObject>>(sim::internal::FindHandle(key->Get()));
  object->classes_root = true;
  object->classes_path = std::move(classes_path);
  return kErrorSuccess;
}

// A standard user may read HKLM but not change it.
bool MayChange(RegistryRoot root) {
  return root != RegistryRoot::kLocalMachine || sim::internal::Config()->elevated;
}

Win32Error Open(RegistryRoot root, const std::wstring& sub_key, std::uint32_t access,
                bool create, RegistryKey* key) {
  if (root == RegistryRoot::kClassesRoot) return OpenClassesRoot(sub_key, access, create, key);
  if (!key) return kErrorInvalidParameter;
  if (!sub_key.empty() && sub_key[0] == L'\\') return kErrorInvalidParameter;
  std::vector<std::wstring> path = Redirected(root, SplitKey(sub_key), access);
  Win32Error error = sim::internal::InjectedFault(create ? "reg_create" : "reg_open",
                                                  FaultPath(root, path));
  if (error != kErrorSuccess) return error;
  // Windows looks the key up before it checks the access: a missing key is not found, whoever
  // asks.
  const bool refused = (access & kWriteAccess) && !MayChange(root);
  if (refused && create) return kErrorAccessDenied;
  auto object = std::make_shared<RegistryKeyObject>();
  object->root = root;
  object->access = access;
  auto find = [&](RegistryTree& tree) -> Win32Error {
    RegistryNode* node = tree.Find(root, path);
    if (!node) return kErrorFileNotFound;
    object->key_id = node->id;
    return kErrorSuccess;
  };
  if (create) {
    error = sim::internal::ReadRegistry(find);
    if (error == kErrorFileNotFound) {
      // Hives hang directly below HKLM; nothing else can be created there.
      if (!MayChange(root) || (root == RegistryRoot::kLocalMachine && path.size() == 1)) {
        return kErrorAccessDenied;
      }
      error = sim::internal::ChangeRegistry([&](RegistryTree& tree, bool* changed) {
        if (root == RegistryRoot::kLocalMachine && !tree.Find(root, {path[0]})) {
          return kErrorAccessDenied;
        }
        *changed = !tree.Find(root, path);
        object->key_id = tree.Create(root, path)->id;
        return kErrorSuccess;
      });
    }
  } else {
    error = sim::internal::ReadRegistry(find);
    if (error == kErrorSuccess && refused) error = kErrorAccessDenied;
  }
  if (error != kErrorSuccess) return error;
  object->path = std::move(path);
  key->Adopt(sim::internal::AddHandle(std::move(object)));
  return kErrorSuccess;
}

std::shared_ptr<RegistryKeyObject> KeyOf(const RegistryKey& key) {
  auto object = sim::internal::FindHandle(key.Get());
  auto* found = std::get_if<std::shared_ptr<RegistryKeyObject>>(&object);
  return found ? *found : nullptr;
}

// The node of an open key, or null when the key was deleted since it was opened.
RegistryNode* NodeOf(RegistryTree& tree, const RegistryKeyObject& key) {
  RegistryNode* node = tree.Find(key.root, key.path);
  return node && node->id == key.key_id ? node : nullptr;
}

std::wstring ValueName(const wchar_t* value_name) { return value_name ? value_name : L""; }

// The key's sub-key names in the registry's order (by folded name); through HKEY_CLASSES_ROOT
// those of the user's and the machine's classes together, the user's spelling first.
Win32Error SubKeyNames(const RegistryKeyObject& key, std::vector<std::wstring>* names) {
  return sim::internal::ReadRegistry([&](RegistryTree& tree) {
    RegistryNode* node = NodeOf(tree, key);
    if (!node) return kErrorKeyDeleted;
    std::map<std::wstring, std::wstring> merged;
    auto add = [&](const RegistryNode* from) {
      if (!from) return;
      for (const auto& [folded, child] : from->children) merged.emplace(folded, child->name);
    };
    if (key.classes_root) {
      add(tree.Find(RegistryRoot::kCurrentUser, UserClassesPath(key.classes_path)));
      add(tree.Find(RegistryRoot::kLocalMachine, MachineClassesPath(key.classes_path, key.access)));
    } else {
      add(node);
    }
    names->clear();
    for (auto& [folded, name] : merged) names->push_back(std::move(name));
    return kErrorSuccess;
  });
}

}  // namespace

Win32Error RegCreateKeyExW(RegistryRoot root, const std::wstring& sub_key, std::uint32_t access,
                           RegistryKey* key) {
  return Open(root, sub_key, access, true, key);
}

Win32Error RegOpenKeyExW(RegistryRoot root, const std::wstring& sub_key, std::uint32_t access,
                         RegistryKey* key) {
  return Open(root, sub_key, access, false, key);
}

Win32Error RegSetValueExW(const RegistryKey& key, const wchar_t* value_name, std::uint32_t type,
                          const std::uint8_t* data, std::uint32_t size) {
  auto object = KeyOf(key);
  if (!object) return kErrorInvalidHandle;
  if (!(object->access & kKeySetValue)) return kErrorAccessDenied;
  if (!data && size > 0) return kErrorInvalidParameter;
  Win32Error error =
      sim::internal::InjectedFault("reg_set", FaultPath(object->root, object->path));
  if (error != kErrorSuccess) return error;
  std::wstring name = ValueName(value_name);
  return sim::internal::ChangeRegistry([&](RegistryTree& tree, bool* changed) {
    RegistryNode* node = NodeOf(tree, *object);
    if (!node) return kErrorKeyDeleted;
    RegistryValue* value = node->FindValue(name);
    if (!value) {
      node->values.push_back(RegistryValue{name, type, {}});
      value = &node->values.back();
    }
    value->type = type;
    value->data.assign(data, data + size);
    node->ValuesChanged();
    *changed = true;
    return kErrorSuccess;
  });
}

Win32Error RegQueryValueExW(const RegistryKey& key, const wchar_t* value_name, std::uint32_t* type,
                            std::uint8_t* data, std::uint32_t* size) {
  auto object = KeyOf(key);
  if (!object) return kErrorInvalidHandle;
  if (!(object->access & kKeyQueryValue)) return kErrorAccessDenied;
  if (data && !size) return kErrorInvalidParameter;
  Win32Error error =
      sim::internal::InjectedFault("reg_query", FaultPath(object->root, object->path));
  if (error != kErrorSuccess) return error;
  std::wstring name = ValueName(value_name);
  return sim::internal::ReadRegistry([&](RegistryTree& tree) {
    RegistryNode* node = NodeOf(tree, *object);
    if (!node) return kErrorKeyDeleted;
    RegistryValue* value = node->FindValue(name);
    if (!value) return kErrorFileNotFound;
    if (type) *type = value->type;
    std::uint32_t needed = static_cast<std::uint32_t>(value->data.size());
    Win32Error result = kErrorSuccess;
    if (data) {
      if (*size < needed) {
        result = kErrorMoreData;
      } else if (needed > 0) {
        std::memcpy(data, value->data.data(), needed);
      }
    }
    if (size) *size = needed;
    return result;
  });
}

Win32Error RegDeleteValueW(const RegistryKey& key, const wchar_t* value_name) {
  auto object = KeyOf(key);
  if (!object) return kErrorInvalidHandle;
  if (!(object->access & kKeySetValue)) return kErrorAccessDenied;
  Win32Error error =
      sim::internal::InjectedFault("reg_delete_value", FaultPath(object->root, object->path));
  if (error != kErrorSuccess) return error;
  std::wstring name = ValueName(value_name);
  return sim::internal::ChangeRegistry([&](RegistryTree& tree, bool* changed) {
    RegistryNode* node = NodeOf(tree, *object);
    if (!node) return kErrorKeyDeleted;
    if (!node->RemoveValue(name)) return kErrorFileNotFound;
    *changed = true;
    return kErrorSuccess;
  });
}

Win32Error RegEnumValueW(const RegistryKey& key, std::uint32_t index, std::wstring* value_name,
                         std::uint32_t* type) {
  auto object = KeyOf(key);
  if (!object) return kErrorInvalidHandle;
  if (!(object->access & kKeyQueryValue)) return kErrorAccessDenied;
  return sim::internal::ReadRegistry([&](RegistryTree& tree) {
    RegistryNode* node = NodeOf(tree, *object);
    if (!node) return kErrorKeyDeleted;
    if (index >= node->values.size()) return kErrorNoMoreItems;
    if (value_name) *value_name = node->values[index].name;
    if (type) *type = node->values[index].type;
    return kErrorSuccess;
  });
}

Win32Error RegQueryInfoKeyW(const RegistryKey& key, std::uint32_t* sub_key_count,
                            std::uint32_t* max_sub_key_length) {
  auto object = KeyOf(key);
  if (!object) return kErrorInvalidHandle;
  if (!(object->access & kKeyQueryValue)) return kErrorAccessDenied;
  std::vector<std::wstring> names;
  Win32Error error = SubKeyNames(*object, &names);
  if (error != kErrorSuccess) return error;
  std::size_t longest = 0;
  for (const std::wstring& name : names) longest = std::max(longest, name.size());
  if (sub_key_count) *sub_key_count = static_cast<std::uint32_t>(names.size());
  if (max_sub_key_length) *max_sub_key_length = static_cast<std::uint32_t>(longest);
  return kErrorSuccess;
}

Win32Error RegEnumKeyExW(const RegistryKey& key, std::uint32_t index, std::uint32_t buffer_length,
                         std::wstring* name) {
  auto object = KeyOf(key);
  if (!object) return kErrorInvalidHandle;
  if (!(object->access & kKeyEnumerateSubKeys)) return kErrorAccessDenied;
  std::vector<std::wstring> names;
  Win32Error error = SubKeyNames(*object, &names);
  if (error != kErrorSuccess) return error;
  if (index >= names.size()) return kErrorNoMoreItems;
  if (names[index].size() + 1 > buffer_length) return kErrorMoreData;
  if (name) *name = names[index];
  return kErrorSuccess;
}

Win32Error RegDeleteTreeW(const RegistryKey& key, const std::wstring& sub_key) {
  auto object = KeyOf(key);
  if (!object) return kErrorInvalidHandle;
  std::vector<std::wstring> relative = SplitKey(sub_key);
  std::vector<std::wstring> full = object->path;
  full.insert(full.end(), relative.begin(), relative.end());
  Win32Error error = sim::internal::InjectedFault("reg_delete_tree", FaultPath(object->root, full));
  if (error != kErrorSuccess) return error;
  if (!MayChange(object->root)) return kErrorAccessDenied;
  return sim::internal::ChangeRegistry([&](RegistryTree& tree, bool* changed) {
    RegistryNode* node = NodeOf(tree, *object);
    if (!node) return kErrorKeyDeleted;
    if (relative.empty()) {
      // Without a sub-key the key itself stays, emptied of values and sub-keys.
      *changed = !node->values.empty() || !node->children.empty();
      node->values.clear();
      node->children.clear();
      node->ValuesChanged();
      return kErrorSuccess;
    }
    RegistryNode* parent = node;
    for (size_t i = 0; i + 1 < relative.size(); ++i) {
      parent = parent->FindChild(relative[i]);
      if (!parent) return kErrorFileNotFound;
    }
    auto it = parent->children.find(sim::internal::Folded(relative.back()));
    if (it == parent->children.end()) return kErrorFileNotFound;
    if (object->root == RegistryRoot::kLocalMachine && full.size() == 1) return kErrorAccessDenied;
    parent->children.erase(it);
    *changed = true;
    return kErrorSuccess;
  });
}

}  // namespace platform
