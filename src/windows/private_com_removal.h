#pragma once
// Removal of the product's private COM registration, key by key, only where the key's content
// proves that it belongs to this installation: a class whose server path is this install
// directory's, interfaces that name the private proxy while that proxy is this installation's,
// ProgIDs that name a class of ours. Anything else stays and is reported once. The registration
// marker ComIdentityVersion goes first, so that an interrupted removal never leaves a registration
// that still looks complete.

#include <string>
#include <vector>

#include "app/registry_access.h"

namespace vellmora {

class InstallerEngine;

// True when key_to_delete is absent, or the value at value_key equals expected (ignoring case)
// and the tree was deleted.
bool DeleteKeyIfValueEquals(RegistryRoot root, const std::wstring& key_to_delete,
                            const std::wstring& value_key, const wchar_t* value_name,
                            const std::wstring& expected, std::uint32_t view);
// True when the ProgID key is absent, names another class in its CLSID sub-key (left alone), or
// names class_guid and was deleted; false when it cannot be read or deleted.
bool DeleteProgIdIfClsidEquals(RegistryRoot root, const std::wstring& prog_id_key,
                               const std::wstring& class_guid, std::uint32_t view);
// Deletes every interface key of root that names the private proxy; false when the listing or a
// deletion fails.
bool DeleteInterfacesWithPrivateProxy(RegistryRoot root, std::uint32_t view);

// Deletes the marker, then every private key that proves to be this installation's, in both views
// of HKLM and in HKCU; interface_keys gains the machine's interface keys of the private proxy
// and is cleaned too. True when every private key was removed or absent; otherwise
// "COM cleanup warning: ..." once.
bool RemovePrivateComRegistration(InstallerEngine& engine,
                                  std::vector<std::wstring>* interface_keys);

}  // namespace vellmora
