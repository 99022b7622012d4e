#include "platform/services.h"

#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/sim/machine.h"
#include "platform/sim/shared_store.h"
#include "platform/sim/sim_control.h"
#include "platform/sim/text.h"

// The machine's service table is services.txt in the machine root, one service a line:
// name, type, start type, state, stop error, held elsewhere, marked for deletion, the image path
// the next deleting open puts in place, and the configured image path, separated by tabs. Handles
// are this process's own: a deleted service disappears when the last of them closes, unless
// another process (held_elsewhere) still holds it.
namespace sim {
namespace internal {
namespace {

constexpr const char* kServiceTable = "services.txt";

std::vector<ServiceRecord> ParseServices(const std::string& text) {
  std::vector<ServiceRecord> services;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (int i = 0; i < 8; ++i) {
      std::size_t tab = line.find('\t', start);
      if (tab == std::string::npos) break;
      fields.push_back(line.substr(start, tab - start));
      start = tab + 1;
    }
    if (fields.size() != 8) continue;
    ServiceRecord record;
    record.name = FromUtf8(fields[0]);
    record.service_type = static_cast<std::uint32_t>(std::stoul(fields[1]));
    record.start_type = static_cast<std::uint32_t>(std::stoul(fields[2]));
    record.state = static_cast<std::uint32_t>(std::stoul(fields[3]));
    record.stop_error = static_cast<std::uint32_t>(std::stoul(fields[4]));
    record.held_elsewhere = fields[5] == "1";
    record.marked_for_delete = fields[6] == "1";
    record.image_path_on_delete_open = FromUtf8(fields[7]);
    record.image_path = FromUtf8(line.substr(start));
    services.push_back(std::move(record));
  }
  return services;
}

std::string FormatServices(const std::vector<ServiceRecord>& services) {
  std::string text;
  for (const ServiceRecord& record : services) {
    text += ToUtf8(record.name) + "\t" + std::to_string(record.service_type) + "\t" +
            std::to_string(record.start_type) + "\t" + std::to_string(record.state) + "\t" +
            std::to_string(record.stop_error) + "\t" + (record.held_elsewhere ? "1" : "0") + "\t" +
            (record.marked_for_delete ? "1" : "0") + "\t" +
            ToUtf8(record.image_path_on_delete_open) + "\t" + ToUtf8(record.image_path) + "\n";
  }
  return text;
}

std::vector<ServiceRecord> ReadServices() {
  std::ifstream in(Root() + "/" + kServiceTable, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return ParseServices(text.str());
}

// Runs change on the table under the machine lock and saves it.
template <typename Change>
platform::Win32Error ChangeServices(Change change) {
  MachineLock machine(Root());
  std::vector<ServiceRecord> services = ReadServices();
  platform::Win32Error error = change(services);
  if (!WriteFileAtomically(Root() + "/" + kServiceTable, FormatServices(services))) {
    Fatal("cannot write the service table " + Root() + "/" + kServiceTable);
  }
  return error;
}

ServiceRecord* Find(std::vector<ServiceRecord>& services, const std::wstring& name) {
  for (ServiceRecord& record : services) {
    if (EqualsIgnoringCase(record.name, name)) return &record;
  }
  return nullptr;
}

struct ServiceObject {
  bool manager = false;
  std::wstring name;  // as the table spells it
  std::uint32_t access = 0;
};

struct HandleTable {
  std::mutex lock;
  std::uint64_t epoch = 0;
  std::intptr_t next = 0x70000;
  std::map<std::intptr_t, ServiceObject> objects;

  // Handles belong to one machine: the first use after UseMachine forgets the old ones.
  void ForgetStale() {
    if (epoch == MachineEpoch()) return;
    epoch = MachineEpoch();
    objects.clear();
  }
};

HandleTable& Handles() {
  static HandleTable* table = new HandleTable;
  return *table;
}

std::intptr_t AddObject(ServiceObject object) {
  HandleTable& table = Handles();
  std::lock_guard<std::mutex> guard(table.lock);
  table.ForgetStale();
  std::intptr_t handle = table.next;
  table.next += 4;
  table.objects.emplace(handle, std::move(object));
  return handle;
}

bool FindObject(std::intptr_t handle, ServiceObject* object) {
  HandleTable& table = Handles();
  std::lock_guard<std::mutex> guard(table.lock);
  table.ForgetStale();
  auto it = table.objects.find(handle);
  if (it == table.objects.end()) return false;
  *object = it->second;
  return true;
}

// Removes the handle; true (with its name) when it was the last open one of its service.
bool RemoveObject(std::intptr_t handle, std::wstring* service_name) {
  HandleTable& table = Handles();
  std::lock_guard<std::mutex> guard(table.lock);
  table.ForgetStale();
  auto it = table.objects.find(handle);
  if (it == table.objects.end() || it->second.manager) {
    if (it != table.objects.end()) table.objects.erase(it);
    return false;
  }
  *service_name = it->second.name;
  table.objects.erase(it);
  for (const auto& [other, object] : table.objects) {
    if (!object.manager && EqualsIgnoringCase(object.name, *service_name)) return false;
  }
  return true;
}

// The service behind a handle that carries the access; kErrorInvalidHandle for anything else.
platform::Win32Error ServiceOf(const platform::ServiceHandle& handle, std::uint32_t access,
                               ServiceObject* object) {
  if (!FindObject(handle.Get(), object) || object->manager) return platform::kErrorInvalidHandle;
  if ((object->access & access) != access) return platform::kErrorAccessDenied;
  return platform::kErrorSuccess;
}

}  // namespace
}  // namespace internal

void AddService(const ServiceRecord& record) {
  internal::ChangeServices([&](std::vector<ServiceRecord>& services) {
    if (ServiceRecord* existing = internal::Find(services, record.name)) {
      *existing = record;
    } else {
      services.push_back(record);
    }
    return platform::kErrorSuccess;
  });
}

std::vector<ServiceRecord> Services() { return internal::ReadServices(); }

}  // namespace sim

namespace platform {

using sim::ServiceRecord;
using sim::internal::ChangeServices;
using sim::internal::ServiceObject;

template <>
void OwnedHandle<ServiceHandleKind>::Close() {
  std::wstring name;
  if (handle_ != 0 && sim::internal::RemoveObject(handle_, &name)) {
    ChangeServices([&](std::vector<ServiceRecord>& services) {
      for (auto it = services.begin(); it != services.end(); ++it) {
        if (sim::internal::EqualsIgnoringCase(it->name, name) && it->marked_for_delete &&
            !it->held_elsewhere) {
          services.erase(it);
          break;
        }
      }
      return kErrorSuccess;
    });
  }
  handle_ = 0;
}

Win32Error OpenSCManagerW(std::uint32_t access, ServiceHandle* manager) {
  if (!sim::internal::Config()->elevated && (access & ~kScManagerConnect & ~0x00020000u) != 0) {
    return kErrorAccessDenied;
  }
  manager->Adopt(sim::internal::AddObject({true, L"", access}));
  return kErrorSuccess;
}

Win32Error OpenServiceW(const ServiceHandle& manager, const std::wstring& name,
                        std::uint32_t access, ServiceHandle* service) {
  ServiceObject owner;
  if (!sim::internal::FindObject(manager.Get(), &owner) || !owner.manager) {
    return kErrorInvalidHandle;
  }
  constexpr std::uint32_t kChanging = kServiceChangeConfig | kServiceStop | kServiceDelete;
  std::wstring spelled;
  Win32Error error = ChangeServices([&](std::vector<ServiceRecord>& services) {
    ServiceRecord* record = sim::internal::Find(services, name);
    if (!record) return kErrorServiceDoesNotExist;
    if (record->marked_for_delete) return kErrorServiceMarkedForDelete;
    if ((access & kChanging) && !sim::internal::Config()->elevated) return kErrorAccessDenied;
    if ((access & kServiceDelete) && !record->image_path_on_delete_open.empty()) {
      record->image_path = record->image_path_on_delete_open;
      record->image_path_on_delete_open.clear();
    }
    spelled = record->name;
    return kErrorSuccess;
  });
  if (error != kErrorSuccess) return error;
  service->Adopt(sim::internal::AddObject({false, spelled, access}));
  return kErrorSuccess;
}

Win32Error QueryServiceConfigW(const ServiceHandle& service, ServiceConfig* config) {
  ServiceObject object;
  Win32Error error = sim::internal::ServiceOf(service, kServiceQueryConfig, &object);
  if (error != kErrorSuccess) return error;
  for (const ServiceRecord& record : sim::Services()) {
    if (!sim::internal::EqualsIgnoringCase(record.name, object.name)) continue;
    config->service_type = record.service_type;
    config->start_type = record.start_type;
    config->binary_path_name = record.image_path;
    return kErrorSuccess;
  }
  return kErrorServiceDoesNotExist;
}

Win32Error QueryServiceStatusEx(const ServiceHandle& service, std::uint32_t* current_state) {
  ServiceObject object;
  Win32Error error = sim::internal::ServiceOf(service, kServiceQueryStatus, &object);
  if (error != kErrorSuccess) return error;
  for (const ServiceRecord& record : sim::Services()) {
    if (!sim::internal::EqualsIgnoringCase(record.name, object.name)) continue;
    *current_state = record.state;
    return kErrorSuccess;
  }
  return kErrorServiceDoesNotExist;
}

namespace {

// Runs change on the record behind a handle that carries the access.
template <typename Change>
Win32Error ChangeService(const ServiceHandle& service, std::uint32_t access, Change change) {
  ServiceObject object;
  Win32Error error = sim::internal::ServiceOf(service, access, &object);
  if (error != kErrorSuccess) return error;
  return ChangeServices([&](std::vector<ServiceRecord>& services) {
    ServiceRecord* record = nullptr;
    for (ServiceRecord& candidate : services) {
      if (sim::internal::EqualsIgnoringCase(candidate.name, object.name)) record = &candidate;
    }
    return record ? change(*record) : kErrorServiceDoesNotExist;
  });
}

}  // namespace

Win32Error ControlServiceStop(const ServiceHandle& service) {
  return ChangeService(service, kServiceStop, [](ServiceRecord& record) {
    if (record.state == kServiceStopped) return kErrorServiceNotActive;
    if (record.stop_error != kErrorSuccess) return record.stop_error;
    record.state = kServiceStopped;
    return kErrorSuccess;
  });
}

Win32Error ChangeServiceStartType(const ServiceHandle& service, std::uint32_t start_type) {
  return ChangeService(service, kServiceChangeConfig, [&](ServiceRecord& record) {
    if (record.marked_for_delete) return kErrorServiceMarkedForDelete;
    record.start_type = start_type;
    return kErrorSuccess;
  });
}

Win32Error DeleteService(const ServiceHandle& service) {
  return ChangeService(service, kServiceDelete, [](ServiceRecord& record) {
    if (record.marked_for_delete) return kErrorServiceMarkedForDelete;
    record.marked_for_delete = true;
    return kErrorSuccess;
  });
}

}  // namespace platform
