#pragma once
// The machine's shared files (machine.ini, registry.txt, attributes.txt) are read and changed by
// every process of the machine. A change is a read-modify-write under the machine lock, written
// whole to a temporary sibling and renamed over the file, so that a reader never sees half a file
// and needs no lock. The first line carries a stamp that every write renews; a reader re-reads
// the file only when the stamp differs from the one it saw last.

#include <string>

namespace sim::internal {

// An exclusive flock on the machine root folder, held for the guard's lifetime. It orders the
// read-modify-write cycles of all processes and threads; it must not be taken twice by one thread.
class MachineLock {
 public:
  explicit MachineLock(const std::string& root);
  ~MachineLock();
  MachineLock(const MachineLock&) = delete;
  MachineLock& operator=(const MachineLock&) = delete;

 private:
  int fd_ = -1;
};

class SharedStore {
 public:
  SharedStore() = default;
  explicit SharedStore(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }
  // True with the body (the stamp line left out) when the file is not what this object last read
  // or wrote. A missing file reads as an empty body.
  bool ReadIfChanged(std::string* body);
  // Replaces the file with body under a new stamp; the caller holds the MachineLock.
  bool Write(const std::string& body);

 private:
  std::string path_;
  std::string stamp_;
};

// Writes a whole file through a temporary sibling and a rename; false with errno set on failure.
bool WriteFileAtomically(const std::string& path, const std::string& content);

}  // namespace sim::internal
