#include "instance/vm_definition.h"

#include "engine/path_mapping.h"

namespace vellmora {
namespace {

constexpr const char* kMachineUuidOpening = "<Machine uuid=\"";

}  // namespace

std::vector<std::string> DiskElements(const std::string& text) {
  std::vector<std::string> elements;
  std::size_t at = text.find("<HardDisk");
  while (at != std::string::npos) {
    const std::size_t close = text.find('>', at);
    const std::size_t end = close == std::string::npos ? text.size() : close + 1;
    elements.push_back(text.substr(at, end - at));
    at = text.find("<HardDisk", end);
  }
  return elements;
}

bool AttributeValue(const std::string& element, const std::string& name, std::string* value) {
  const std::string opening = name + "=\"";
  const std::size_t start = element.find(opening);
  if (start == std::string::npos) return false;
  const std::size_t first = start + opening.size();
  const std::size_t quote = element.find('"', first);
  *value = element.substr(first, quote == std::string::npos ? std::string::npos : quote - first);
  return true;
}

std::string ExtractMachineUuid(const std::string& text) {
  const std::size_t start = text.find(kMachineUuidOpening);
  if (start == std::string::npos) return {};
  const std::size_t first = start + std::string(kMachineUuidOpening).size();
  const std::size_t quote = text.find('"', first);
  if (quote == std::string::npos) return {};
  return text.substr(first, quote - first);
}

void ApplyMachineIdentity(std::string* text, const VmDefinitionValues& values) {
  const std::size_t start = text->find(kMachineUuidOpening);
  if (start != std::string::npos) {
    const std::size_t first = start + std::string(kMachineUuidOpening).size();
    const std::size_t quote = text->find('"', first);
    text->replace(first, quote == std::string::npos ? std::string::npos : quote - first,
                  values.machine_uuid);
  }
  const std::string install_dir = EscapeXml(values.install_dir);
  for (const char* folder : {"C:\\Program Files\\Pellucador_kta5", "C:\\Program Files\\Pellucador_vod",
                             "C:\\Program Files\\Vellmora"}) {
    ReplaceAllOccurrences(text, folder, install_dir);
  }
}

void ApplyMachineTokens(std::string* text, const VmDefinitionValues& values) {
  const std::string install_dir = EscapeXml(values.install_dir);
  ReplaceAllOccurrences(text, "__VLM_MACHINE_UUID__", values.machine_uuid);
  ReplaceAllOccurrences(text, "__VLM_MAC_ADDRESS__", values.mac_address);
  ReplaceAllOccurrences(text, "__VLM_CPU_CORES__", std::to_string(values.cpu_cores));
  ReplaceAllOccurrences(text, "@@KLV_VM_MEMORY_SIZE@@", std::to_string(values.memory_mib));
  ReplaceAllOccurrences(text, "@@RV_VDES_SERVICE_DLL_PATH@@",
                        EscapeXml(values.vdes_service_dll));
  ReplaceAllOccurrences(text, "C:\\Program Files\\Pellucador_kta5", install_dir);
  ReplaceAllOccurrences(text, "C:\\Program Files\\Vellmora", install_dir);
}

}  // namespace vellmora
