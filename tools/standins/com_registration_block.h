#pragma once
// The registration block a COM stand-in carries in its read-only data: one zero-terminated 8-bit
// text, written so that the installer's identity rewrite moves every GUID and name in it in
// place (same byte lengths), and read back by the stand-in's own self-registration at run time,
// so that a patched binary registers its patched identities and an unpatched one the originals.
//
//     VELLMORA-COM-REGISTRATION 1\n
//     <key below HKEY_CLASSES_ROOT>|<value name, or @ for the default value>|<data>\n
//     ...
//
// Every value is REG_SZ. "%MODULE%" in data stands for the binary's full path, "%MODULE_DIR%"
// for its directory without a trailing backslash.
//
// Removal deletes each entry's owning key with everything below it: the first two components of
// keys under "CLSID", "AppID", "Interface" and "TypeLib" ("CLSID\{...}"), the first component of
// any other key (a ProgID). Portable C++: the Windows stand-ins apply it to the real registry,
// the simulated machine to its own.

#include <string>
#include <string_view>
#include <vector>

namespace standins {

inline constexpr std::string_view kRegistrationBlockHeader = "VELLMORA-COM-REGISTRATION 1\n";

struct RegistrationEntry {
  std::string key;         // below HKEY_CLASSES_ROOT, backslash-separated
  std::string value_name;  // empty for the default value ("@")
  std::string data;        // as written in the block, %MODULE% not yet expanded
};

// Where the block is applied. Texts are UTF-8; each call returns false with a one-line error.
class RegistrationTarget {
 public:
  virtual ~RegistrationTarget() = default;
  // Creates the key and its missing parents and sets one REG_SZ value.
  virtual bool SetString(const std::string& key, const std::string& value_name,
                         const std::string& data, std::string* error) = 0;
  // Deletes the key with all its values and sub-keys; a missing key is not an error.
  virtual bool DeleteTree(const std::string& key, std::string* error) = 0;
};

// The block's text (header included, the zero byte not) found in a binary's bytes. Fails when
// the header is absent or occurs twice, or the text has no terminating zero byte. The header
// followed directly by a zero byte (the parser's own copy of it) does not count.
bool FindRegistrationBlock(std::string_view image, std::string_view* block, std::string* error);

// Parses a block text. Fails on a wrong header, a line without two '|', an empty or malformed key
// (empty component, leading or trailing backslash), a carriage return, or a last line without
// its line feed.
bool ParseRegistrationBlock(std::string_view block, std::vector<RegistrationEntry>* entries,
                            std::string* error);

// The data with %MODULE% and %MODULE_DIR% replaced for the binary at module_path.
std::string ExpandModuleTokens(const std::string& data, const std::string& module_path);

// The keys RemoveRegistration deletes, in first-seen order, without repeats.
std::vector<std::string> OwningKeys(const std::vector<RegistrationEntry>& entries);

// Writes every entry, in block order; stops at the first failure.
bool ApplyRegistration(const std::vector<RegistrationEntry>& entries,
                       const std::string& module_path, RegistrationTarget* target,
                       std::string* error);
// Deletes every owning key; tries all of them and reports the first failure.
bool RemoveRegistration(const std::vector<RegistrationEntry>& entries, RegistrationTarget* target,
                        std::string* error);

// Find, parse and apply (or remove) the block of a binary's bytes.
bool RegisterFromImage(std::string_view image, const std::string& module_path,
                       RegistrationTarget* target, std::string* error);
bool UnregisterFromImage(std::string_view image, RegistrationTarget* target, std::string* error);

}  // namespace standins
