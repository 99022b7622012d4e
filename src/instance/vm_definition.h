#pragma once
// The ".kolv" VM definitions as text: their disk elements and attributes, the Machine element's
// UUID, and the machine-specific tokens a registration fills in. Matched as exact fragments,
// never parsed as XML.

#include <string>
#include <vector>

namespace vellmora {

// Every disk element in order: the text from "<HardDisk" up to and including the next '>' (to the
// end of the text when none follows).
std::vector<std::string> DiskElements(const std::string& text);
// The text after name="" up to the next double quote; false when the element has none.
bool AttributeValue(const std::string& element, const std::string& name, std::string* value);

// The value of the uuid attribute that follows the first "<Machine uuid=" and a double quote;
// empty when there is none.
std::string ExtractMachineUuid(const std::string& text);

// The values a registration writes into a definition.
struct VmDefinitionValues {
  std::string machine_uuid;          // registry form, with braces
  std::string install_dir;           // the installation directory, UTF-8
  std::string vdes_service_dll;      // its "RV-Vdes-Service.dll", UTF-8
  std::string mac_address;
  int cpu_cores = 0;
  int memory_mib = 0;
};

// The first pass: the Machine element's UUID and the install folders of the side-by-side and
// earlier editions, replaced by the installation directory. Paths are XML-escaped.
void ApplyMachineIdentity(std::string* text, const VmDefinitionValues& values);
// The second pass: the machine-specific tokens.
void ApplyMachineTokens(std::string* text, const VmDefinitionValues& values);

}  // namespace vellmora
