#include "platform/sim/attribute_store.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cinttypes>
#include <cstdio>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/sim/machine.h"
#include "platform/sim/shared_store.h"
#include "platform/sim/text.h"

namespace sim::internal {
namespace {

struct Record {
  std::uint32_t attributes = 0;
  std::string note;
};

struct AttributeState {
  std::mutex lock;
  std::uint64_t epoch = 0;
  SharedStore store;
  std::map<FileIdentity, Record> records;
};

AttributeState& State() {
  static AttributeState* state = new AttributeState;
  return *state;
}

void Parse(const std::string& body, std::map<FileIdentity, Record>* records) {
  records->clear();
  std::istringstream in(body);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == ';') continue;
    FileIdentity id;
    unsigned attributes = 0;
    int consumed = 0;
    if (std::sscanf(line.c_str(), "%" SCNu64 ":%" SCNu64 ":%" SCNd64 ".%" SCNu32 " %x %n",
                    &id.device, &id.inode, &id.birth_seconds, &id.birth_nanoseconds, &attributes,
                    &consumed) < 5) {
      continue;
    }
    (*records)[id] = {attributes, line.substr(static_cast<size_t>(consumed))};
  }
}

std::string Format(const std::map<FileIdentity, Record>& records) {
  std::string out = "; device:inode:birth-time attributes Windows-path-when-recorded\n";
  char buffer[128];
  for (const auto& [id, record] : records) {
    std::snprintf(buffer, sizeof buffer, "%" PRIu64 ":%" PRIu64 ":%" PRId64 ".%09" PRIu32 " %08x ",
                  id.device, id.inode, id.birth_seconds, id.birth_nanoseconds, record.attributes);
    out += buffer + record.note + "\n";
  }
  return out;
}

void Refresh(AttributeState& state) {
  std::uint64_t epoch = MachineEpoch();
  if (state.epoch != epoch) {
    state.epoch = epoch;
    state.store = SharedStore(Root() + "/attributes.txt");
    state.records.clear();
  }
  std::string body;
  if (state.store.ReadIfChanged(&body)) Parse(body, &state.records);
}

bool Identity(int directory_fd, const char* path, int flags, FileIdentity* identity) {
  struct statx st{};
  if (statx(directory_fd, path, flags, STATX_INO | STATX_BTIME, &st) != 0) return false;
  identity->device = (static_cast<std::uint64_t>(st.stx_dev_major) << 32) | st.stx_dev_minor;
  identity->inode = st.stx_ino;
  // Without a birth time the inode alone must do.
  identity->birth_seconds = (st.stx_mask & STATX_BTIME) ? st.stx_btime.tv_sec : 0;
  identity->birth_nanoseconds = (st.stx_mask & STATX_BTIME) ? st.stx_btime.tv_nsec : 0;
  return true;
}

}  // namespace

bool IdentityOf(const std::string& host_path, FileIdentity* identity) {
  return Identity(AT_FDCWD, host_path.c_str(), AT_SYMLINK_NOFOLLOW, identity);
}

bool IdentityOfDescriptor(int fd, FileIdentity* identity) {
  return Identity(fd, "", AT_EMPTY_PATH, identity);
}

std::optional<std::uint32_t> RecordedAttributes(const FileIdentity& identity) {
  AttributeState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  Refresh(state);
  auto it = state.records.find(identity);
  if (it == state.records.end()) return std::nullopt;
  return it->second.attributes;
}

void RecordAttributes(const FileIdentity& identity, std::optional<std::uint32_t> attributes,
                      const std::wstring& note) {
  AttributeState& state = State();
  {
    // Most entries keep their defaults: leave the file alone when nothing changes.
    std::lock_guard<std::mutex> guard(state.lock);
    Refresh(state);
    auto it = state.records.find(identity);
    if (!attributes && it == state.records.end()) return;
    if (attributes && it != state.records.end() && it->second.attributes == *attributes) return;
  }
  MachineLock machine(Root());
  std::lock_guard<std::mutex> guard(state.lock);
  Refresh(state);
  if (attributes) {
    state.records[identity] = {*attributes, ToUtf8(note)};
  } else {
    state.records.erase(identity);
  }
  state.store.Write(Format(state.records));
}

}  // namespace sim::internal
