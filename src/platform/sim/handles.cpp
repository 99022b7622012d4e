#include <unistd.h>

#include <map>
#include <mutex>

#include "platform/registry.h"
#include "platform/sim/handle_table.h"
#include "platform/sim/machine.h"
#include "platform/types.h"

namespace sim::internal {
namespace {

struct HandleState {
  std::mutex lock;
  std::uint64_t epoch = 0;
  platform::RawHandle next = 0x1000;
  std::map<platform::RawHandle, HandleObject> objects;
};

HandleState& State() {
  static HandleState* state = new HandleState;
  return *state;
}

// Handles belong to one machine; the first access after UseMachine closes the old ones. The
// objects are destroyed outside the table's lock, since a mutex's destructor takes its own.
std::map<platform::RawHandle, HandleObject> TakeStale(HandleState& state) {
  std::uint64_t epoch = MachineEpoch();
  if (state.epoch == epoch) return {};
  state.epoch = epoch;
  return std::move(state.objects);
}

}  // namespace

FileObject::~FileObject() {
  if (fd >= 0) close(fd);
  if (delete_on_close && !host_path.empty()) unlink(host_path.c_str());
}

platform::RawHandle AddHandle(HandleObject object) {
  HandleState& state = State();
  std::map<platform::RawHandle, HandleObject> stale;
  std::lock_guard<std::mutex> guard(state.lock);
  stale = TakeStale(state);
  platform::RawHandle handle = state.next;
  state.next += 4;
  state.objects.emplace(handle, std::move(object));
  return handle;
}

HandleObject FindHandle(platform::RawHandle handle) {
  HandleState& state = State();
  std::map<platform::RawHandle, HandleObject> stale;
  std::lock_guard<std::mutex> guard(state.lock);
  stale = TakeStale(state);
  auto it = state.objects.find(handle);
  return it == state.objects.end() ? HandleObject() : it->second;
}

void ReplaceHandle(platform::RawHandle handle, HandleObject object) {
  HandleState& state = State();
  HandleObject old;
  std::lock_guard<std::mutex> guard(state.lock);
  auto it = state.objects.find(handle);
  if (it == state.objects.end()) return;
  old = std::move(it->second);
  it->second = std::move(object);
}

bool RemoveHandle(platform::RawHandle handle, bool registry) {
  HandleState& state = State();
  std::map<platform::RawHandle, HandleObject> stale;
  HandleObject removed;
  std::lock_guard<std::mutex> guard(state.lock);
  stale = TakeStale(state);
  auto it = state.objects.find(handle);
  if (it == state.objects.end()) return false;
  bool is_key = std::holds_alternative<std::shared_ptr<RegistryKeyObject>>(it->second);
  if (is_key != registry) return false;
  removed = std::move(it->second);
  state.objects.erase(it);
  return true;
}

std::vector<std::shared_ptr<FileObject>> OpenFiles() {
  HandleState& state = State();
  std::map<platform::RawHandle, HandleObject> stale;
  std::lock_guard<std::mutex> guard(state.lock);
  stale = TakeStale(state);
  std::vector<std::shared_ptr<FileObject>> files;
  for (const auto& [handle, object] : state.objects) {
    if (auto* file = std::get_if<std::shared_ptr<FileObject>>(&object)) files.push_back(*file);
  }
  return files;
}

}  // namespace sim::internal

namespace platform {

Win32Error CloseHandle(RawHandle handle) {
  return sim::internal::RemoveHandle(handle, false) ? kErrorSuccess : kErrorInvalidHandle;
}

template <>
void OwnedHandle<RegistryKeyKind>::Close() {
  if (handle_ != 0) sim::internal::RemoveHandle(handle_, true);
  handle_ = 0;
}

}  // namespace platform
