// Named mutexes shared by the processes of a machine. Each named mutex has a lock file,
// <machine root>/mutexes/<encoded name>, and a process holds the mutex while it holds an flock on
// its own descriptor of that file. The file says "held <pid> <tid>" while a thread owns the mutex
// and "free" once it was released. The kernel drops the flock of a process that dies; the next
// process to take the flock then still reads "held" and receives the mutex as abandoned, as a
// Windows waiter would. Inside a process, one MutexObject per name arbitrates between threads
// (owner thread and recursion count); an owner thread that ended without releasing also hands
// the mutex over as abandoned. As on Windows, the owning thread keeps the mutex alive and owned
// when it closes its last handle: it stays owned until that thread releases it (through a new
// handle of the name) or ends.

#include "platform/sync.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <vector>

#include "platform/sim/handle_table.h"
#include "platform/sim/machine.h"
#include "platform/sim/process_table.h"
#include "platform/sim/text.h"

namespace sim::internal {

struct MutexObject {
  std::string name;
  int fd = -1;  // -1 for an unnamed mutex, which only this process knows
  pid_t pid = 0;
  std::mutex lock;
  std::condition_variable released;
  pid_t owner = 0;  // thread id
  unsigned count = 0;
  bool abandoned = false;  // the owner thread ended; the next owner is told so

  MutexObject() = default;
  MutexObject(const MutexObject&) = delete;
  MutexObject& operator=(const MutexObject&) = delete;
  // Closing the last handle drops the flock; a mutex still owned then stays marked "held", so that
  // the next owner learns it was abandoned.
  ~MutexObject() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace sim::internal

namespace platform {
namespace {

using sim::internal::MutexObject;

constexpr auto kPollInterval = std::chrono::milliseconds(5);

struct MutexRegistry {
  std::mutex lock;
  std::uint64_t epoch = 0;
  pid_t pid = 0;
  std::map<std::string, std::weak_ptr<MutexObject>> named;
};

MutexRegistry& Registry() {
  static MutexRegistry* registry = new MutexRegistry;
  return *registry;
}

// Lock file names keep letters, digits, '_' and '-'; anything else is %XX-encoded, so that
// distinct names (which Windows compares with letter case) get distinct files.
std::string FileNameOf(const std::wstring& name) {
  std::string encoded;
  for (unsigned char c : sim::internal::ToUtf8(name)) {
    if (std::isalnum(c) || c == '_' || c == '-') {
      encoded += static_cast<char>(c);
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", c);
      encoded += escape;
    }
  }
  if (encoded.size() > 200) {
    encoded = encoded.substr(0, 180) + "%" + std::to_string(std::hash<std::string>{}(encoded));
  }
  return encoded;
}

void WriteMarker(int fd, const std::string& text) {
  if (ftruncate(fd, 0) == 0) {
    ssize_t ignored = pwrite(fd, text.data(), text.size(), 0);
    (void)ignored;
  }
}

std::string ReadMarker(int fd) {
  char buffer[64] = {};
  ssize_t got = pread(fd, buffer, sizeof buffer - 1, 0);
  return got > 0 ? std::string(buffer, static_cast<size_t>(got)) : std::string();
}

bool ThreadAlive(pid_t tid) {
  struct stat st{};
  return stat(("/proc/self/task/" + std::to_string(tid)).c_str(), &st) == 0;
}

// The object for a name in this process; a forked child gets objects of its own, since it
// shares its parent's open file descriptions (and with them the parent's flocks).
Win32Error ObjectFor(const std::wstring& name, const std::wstring& sddl,
                     std::shared_ptr<MutexObject>* object) {
  auto fresh = std::make_shared<MutexObject>();
  fresh->pid = getpid();
  if (name.empty()) {
    *object = std::move(fresh);
    return kErrorSuccess;
  }
  std::string file = FileNameOf(name);
  MutexRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  std::uint64_t epoch = sim::internal::MachineEpoch();
  if (registry.epoch != epoch || registry.pid != getpid()) {
    registry.epoch = epoch;
    registry.pid = getpid();
    registry.named.clear();
  }
  if (auto existing = registry.named[file].lock()) {
    *object = std::move(existing);
    return kErrorSuccess;
  }
  std::string folder = sim::internal::Root() + "/mutexes";
  mkdir(folder.c_str(), 0777);
  std::string path = folder + "/" + file;
  bool created = access(path.c_str(), F_OK) != 0;
  fresh->fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fresh->fd < 0) return kErrorAccessDenied;
  fresh->name = sim::internal::ToUtf8(name);
  if (created && !sddl.empty()) {
    // Kept beside the lock file for tests that check what the creator asked for.
    FILE* record = std::fopen((path + ".sddl").c_str(), "w");
    if (record) {
      std::fputs(sim::internal::ToUtf8(sddl).c_str(), record);
      std::fclose(record);
    }
  }
  registry.named[file] = fresh;
  *object = std::move(fresh);
  return kErrorSuccess;
}

// The handle's mutex as this process knows it (a forked child re-opens the name).
std::shared_ptr<MutexObject> MutexOf(RawHandle handle) {
  auto object = sim::internal::FindHandle(handle);
  auto* mutex = std::get_if<std::shared_ptr<MutexObject>>(&object);
  if (!mutex) return nullptr;
  if ((*mutex)->pid == getpid()) return *mutex;
  std::shared_ptr<MutexObject> reopened;
  if (ObjectFor(sim::internal::FromUtf8((*mutex)->name), L"", &reopened) != kErrorSuccess) {
    return nullptr;
  }
  sim::internal::ReplaceHandle(handle, reopened);
  return reopened;
}

std::string HeldMarker(pid_t tid) {
  return "held " + std::to_string(getpid()) + " " + std::to_string(tid) + "\n";
}

// The mutexes a thread owns, kept alive by the thread itself rather than by its handles. When the
// thread ends they are given up as abandoned: the flock goes (so other processes may take them)
// while the lock file still says "held".
struct OwnedByThread {
  std::vector<std::shared_ptr<MutexObject>> mutexes;
  ~OwnedByThread() {
    pid_t self = gettid();
    for (const auto& mutex : mutexes) {
      std::lock_guard<std::mutex> guard(mutex->lock);
      if (mutex->pid != getpid() || mutex->owner != self) continue;
      mutex->owner = 0;
      mutex->count = 0;
      mutex->abandoned = true;
      if (mutex->fd >= 0) flock(mutex->fd, LOCK_UN);
      mutex->released.notify_all();
    }
  }
};

thread_local OwnedByThread t_owned;

void KeepWhileOwned(const std::shared_ptr<MutexObject>& mutex) { t_owned.mutexes.push_back(mutex); }

void ForgetOwned(const MutexObject* mutex) {
  auto& owned = t_owned.mutexes;
  for (auto it = owned.begin(); it != owned.end(); ++it) {
    if (it->get() == mutex) {
      owned.erase(it);
      return;
    }
  }
}

}  // namespace

Win32Error CreateMutexW(const std::wstring& name, const std::wstring& sddl, UniqueHandle* mutex) {
  std::shared_ptr<MutexObject> object;
  Win32Error error = ObjectFor(name, sddl, &object);
  if (error != kErrorSuccess) return error;
  mutex->Reset(sim::internal::AddHandle(std::move(object)));
  return kErrorSuccess;
}

std::uint32_t WaitForSingleObject(RawHandle handle, std::uint32_t milliseconds) {
  std::shared_ptr<MutexObject> mutex = MutexOf(handle);
  if (!mutex) return sim::internal::WaitForProcess(handle, milliseconds);
  pid_t self = gettid();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  std::unique_lock<std::mutex> guard(mutex->lock);
  if (mutex->owner == self) {
    ++mutex->count;
    return kWaitObject0;
  }
  for (;;) {
    if (mutex->owner == 0) {
      bool abandoned = mutex->abandoned;
      if (mutex->fd >= 0) {
        if (flock(mutex->fd, LOCK_EX | LOCK_NB) != 0) {
          if (errno != EWOULDBLOCK && errno != EINTR) return kWaitFailed;
        } else {
          abandoned = ReadMarker(mutex->fd).compare(0, 4, "held") == 0;
          WriteMarker(mutex->fd, HeldMarker(self));
          mutex->owner = self;
        }
      } else {
        mutex->owner = self;
      }
      if (mutex->owner == self) {
        mutex->count = 1;
        mutex->abandoned = false;
        KeepWhileOwned(mutex);
        return abandoned ? kWaitAbandoned : kWaitObject0;
      }
    } else if (!ThreadAlive(mutex->owner)) {
      // The owner thread ended without releasing; this process still holds the flock.
      mutex->owner = self;
      mutex->count = 1;
      if (mutex->fd >= 0) WriteMarker(mutex->fd, HeldMarker(self));
      KeepWhileOwned(mutex);
      return kWaitAbandoned;
    }
    auto now = std::chrono::steady_clock::now();
    if (milliseconds != kInfinite && now >= deadline) return kWaitTimeout;
    auto wait = kPollInterval;
    if (milliseconds != kInfinite && deadline - now < wait) {
      wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) +
             std::chrono::milliseconds(1);
    }
    mutex->released.wait_for(guard, wait);
  }
}

Win32Error ReleaseMutex(RawHandle handle) {
  std::shared_ptr<MutexObject> mutex = MutexOf(handle);
  if (!mutex) return kErrorInvalidHandle;
  std::lock_guard<std::mutex> guard(mutex->lock);
  if (mutex->owner != gettid() || mutex->count == 0) return kErrorNotOwner;
  if (--mutex->count > 0) return kErrorSuccess;
  mutex->owner = 0;
  if (mutex->fd >= 0) {
    WriteMarker(mutex->fd, "free\n");
    flock(mutex->fd, LOCK_UN);
  }
  mutex->released.notify_all();
  ForgetOwned(mutex.get());
  return kErrorSuccess;
}

}  // namespace platform
