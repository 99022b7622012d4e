#include "instance/machine_registry.h"

#include "engine/path_mapping.h"

namespace vellmora {
namespace {

constexpr const char* kEntryOpening = "<MachineEntry";
constexpr const char* kEntryClosing = "/>";
constexpr const char* kUuidOpening = "uuid=\"";

enum class EntryState { kAbsent, kMalformed, kNoUuid, kUuidMalformed, kFound };

// Where the definition's entry keeps its uuid value: [value_start, value_end).
struct EntryUuid {
  EntryState state = EntryState::kAbsent;
  std::size_t value_start = 0;
  std::size_t value_end = 0;
};

EntryUuid LocateEntryUuid(const std::string& text, const std::string& definition_path) {
  EntryUuid found;
  const std::size_t source = text.find(MachineSourceAttribute(definition_path));
  if (source == std::string::npos) return found;
  const std::size_t start = text.rfind(kEntryOpening, source);
  const std::size_t end = text.find(kEntryClosing, source);
  // An element that closes before the name is another entry: the name stands outside any.
  if (start == std::string::npos || end == std::string::npos ||
      text.find(kEntryClosing, start) < source) {
    found.state = EntryState::kMalformed;
    return found;
  }
  const std::size_t uuid = text.find(kUuidOpening, start);
  if (uuid == std::string::npos || uuid >= end) {
    found.state = EntryState::kNoUuid;
    return found;
  }
  found.value_start = uuid + std::string(kUuidOpening).size();
  found.value_end = text.find('"', found.value_start);
  found.state = found.value_end == std::string::npos || found.value_end >= end
                    ? EntryState::kUuidMalformed
                    : EntryState::kFound;
  return found;
}

}  // namespace

std::string MachineSourceAttribute(const std::string& definition_path) {
  return "src=\"" + EscapeXml(definition_path) + "\"";
}

std::string RegisteredMachineUuid(const std::string& text, const std::string& definition_path) {
  const EntryUuid found = LocateEntryUuid(text, definition_path);
  if (found.state != EntryState::kFound) return {};
  return text.substr(found.value_start, found.value_end - found.value_start);
}

bool EnterMachine(std::string* text, const std::string& uuid, const std::string& definition_path,
                  const std::string& file, std::string* detail) {
  const EntryUuid found = LocateEntryUuid(*text, definition_path);
  switch (found.state) {
    case EntryState::kFound:
      text->replace(found.value_start, found.value_end - found.value_start, uuid);
      return true;
    case EntryState::kMalformed:
      *detail = "the existing MachineEntry is malformed in " + file + ".";
      return false;
    case EntryState::kNoUuid:
      *detail = "the existing MachineEntry has no UUID in " + file + ".";
      return false;
    case EntryState::kUuidMalformed:
      *detail = "the existing MachineEntry UUID is malformed in " + file + ".";
      return false;
    case EntryState::kAbsent:
      break;
  }
  const std::size_t registry_end = text->find("</MachineRegistry>");
  if (registry_end == std::string::npos) {
    *detail = "MachineRegistry was not found in " + file + ".";
    return false;
  }
  text->insert(registry_end, "      <MachineEntry uuid=\"" + uuid + "\" " +
                                 MachineSourceAttribute(definition_path) + "/>\r\n    ");
  return true;
}

}  // namespace vellmora
