#pragma once
// The Engine's machine registry "KolvGlobal.xml" (and its "-prev" copy): one MachineEntry per
// VM definition, found by its src attribute and edited as text.

#include <string>

namespace vellmora {

// The src attribute that names a definition: src="<path>" with the path XML-escaped, as it
// stands in the file.
std::string MachineSourceAttribute(const std::string& definition_path);

// The uuid of the MachineEntry whose src names the definition; empty when there is none or its
// uuid attribute is not complete inside the element.
std::string RegisteredMachineUuid(const std::string& text, const std::string& definition_path);

// Gives the definition's MachineEntry the uuid, or inserts a new entry before
// "</MachineRegistry>". False with the detail for the log (naming file) when the existing entry
// is malformed or the registry element is missing; the text is then unchanged.
bool EnterMachine(std::string* text, const std::string& uuid, const std::string& definition_path,
                  const std::string& file, std::string* detail);

}  // namespace vellmora
