#include "platform/registry.h"

#include <cstring>

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

std::wstring FaultPath(RegistryRoot root, const std::vector<std::wstring>& path) {
  std::wstring text = root == RegistryRoot::kLocalMachine ? L"HKLM" : L"HKCU";
  for (const std::wstring& part : path) text += L"\\" + part;
  return text;
}

// A standard user may read HKLM but not change it.
bool MayChange(RegistryRoot root) {
  return root != RegistryRoot::kLocalMachine || sim::internal::Config()->elevated;
}

Win32Error Open(RegistryRoot root, const std::wstring& sub_key, std::uint32_t access,
                bool create, RegistryKey* key) {
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
