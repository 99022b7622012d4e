#pragma once
// The process's handle table: files, named mutexes and registry keys, each behind a handle value
// that is never reused while the machine is in use (a stale handle gives kErrorInvalidHandle).

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/registry.h"
#include "platform/sim/attribute_store.h"
#include "platform/types.h"

namespace sim::internal {

// What a file handle may do, from the CreateFileW access mask.
inline constexpr std::uint32_t kMayRead = 0x1;
inline constexpr std::uint32_t kMayWrite = 0x2;
inline constexpr std::uint32_t kMayAppend = 0x4;  // FILE_APPEND_DATA without FILE_WRITE_DATA
inline constexpr std::uint32_t kMayDelete = 0x8;

struct FileObject {
  int fd = -1;
  std::wstring windows_path;
  std::string host_path;
  char drive = 0;
  std::uint32_t may = 0;
  std::uint32_t share = 0;  // kShare* of CreateFileW
  bool directory = false;
  // A link opened itself: the host cannot store data in a link, so its stream reads empty and
  // takes writes without keeping them.
  bool link = false;
  bool pipe = false;         // an end of an anonymous pipe (no path)
  bool inheritable = false;  // handed to a child started with inherit_handles
  bool delete_on_close = false;  // kFlagDeleteOnClose: host_path goes when this object does
  FileIdentity identity;

  FileObject() = default;
  FileObject(const FileObject&) = delete;
  FileObject& operator=(const FileObject&) = delete;
  ~FileObject();
};

struct RegistryKeyObject {
  platform::RegistryRoot root = platform::RegistryRoot::kLocalMachine;
  std::vector<std::wstring> path;  // below the root, after 32-bit redirection
  std::uint64_t key_id = 0;
  std::uint32_t access = 0;
  // Opened through HKEY_CLASSES_ROOT: the path below Classes, whose sub-keys are enumerated from
  // the user's and the machine's classes together.
  bool classes_root = false;
  std::vector<std::wstring> classes_path;
};

struct MutexObject;    // sync.cpp
struct ProcessObject;  // process_table.h

using HandleObject = std::variant<std::monostate, std::shared_ptr<FileObject>,
                                  std::shared_ptr<MutexObject>, std::shared_ptr<RegistryKeyObject>,
                                  std::shared_ptr<ProcessObject>>;

platform::RawHandle AddHandle(HandleObject object);
HandleObject FindHandle(platform::RawHandle handle);
void ReplaceHandle(platform::RawHandle handle, HandleObject object);
// Removes a file or mutex handle (registry is false) or a registry key handle (registry true).
bool RemoveHandle(platform::RawHandle handle, bool registry);
// Every open file of the process, for sharing checks.
std::vector<std::shared_ptr<FileObject>> OpenFiles();

}  // namespace sim::internal
