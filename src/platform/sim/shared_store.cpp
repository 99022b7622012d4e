#include "platform/sim/shared_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim::internal {
namespace {

constexpr char kStampPrefix[] = "; stamp ";

std::string NewStamp() {
  unsigned char bytes[8] = {};
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    // Only uniqueness matters: time and pid will do when the kernel cannot help.
    struct timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    unsigned long long mixed = static_cast<unsigned long long>(now.tv_nsec) ^
                               (static_cast<unsigned long long>(now.tv_sec) << 20) ^
                               (static_cast<unsigned long long>(getpid()) << 44);
    std::memcpy(bytes, &mixed, sizeof bytes);
  }
  char text[17];
  for (int i = 0; i < 8; ++i) std::snprintf(text + 2 * i, 3, "%02x", bytes[i]);
  return text;
}

bool ReadAll(int fd, std::string* content) {
  content->clear();
  char buffer[65536];
  off_t offset = 0;
  for (;;) {
    ssize_t got = pread(fd, buffer, sizeof buffer, offset);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    content->append(buffer, static_cast<size_t>(got));
    offset += got;
  }
}

}  // namespace

MachineLock::MachineLock(const std::string& root) {
  fd_ = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) {
    std::fprintf(stderr, "vellmora sim: cannot open the machine root %s: %s\n", root.c_str(),
                 std::strerror(errno));
    std::abort();
  }
  while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
  }
}

MachineLock::~MachineLock() {
  if (fd_ >= 0) close(fd_);  // closing drops the flock
}

bool SharedStore::ReadIfChanged(std::string* body) {
  int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (stamp_ == "missing") return false;
    stamp_ = "missing";
    body->clear();
    return true;
  }
  char head[64] = {};
  ssize_t got = pread(fd, head, sizeof head - 1, 0);
  std::string stamp;
  size_t prefix = sizeof kStampPrefix - 1;
  if (got > 0 && std::strncmp(head, kStampPrefix, prefix) == 0) {
    const char* begin = head + prefix;
    const char* end = std::strchr(begin, '\n');
    stamp.assign(begin, end ? end : head + got);
  } else {
    // A file written by hand: its identity and change time stand in for the stamp.
    struct stat st{};
    fstat(fd, &st);
    stamp = "host " + std::to_string(st.st_ino) + " " + std::to_string(st.st_size) + " " +
            std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
  }
  if (stamp == stamp_) {
    close(fd);
    return false;
  }
  std::string content;
  bool read = ReadAll(fd, &content);
  close(fd);
  if (!read) return false;
  if (content.compare(0, prefix, kStampPrefix) == 0) {
    size_t line_end = content.find('\n');
    content.erase(0, line_end == std::string::npos ? content.size() : line_end + 1);
  }
  stamp_ = stamp;
  *body = std::move(content);
  return true;
}

bool SharedStore::Write(const std::string& body) {
  std::string stamp = NewStamp();
  if (!WriteFileAtomically(path_, kStampPrefix + stamp + "\n" + body)) {
    std::fprintf(stderr, "vellmora sim: cannot write %s: %s\n", path_.c_str(),
                 std::strerror(errno));
    return false;
  }
  stamp_ = stamp;
  return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& content) {
  std::string temporary = path + ".tmp." + std::to_string(getpid()) + "." +
                          std::to_string(gettid());
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < content.size()) {
    ssize_t wrote = write(fd, content.data() + done, content.size() - done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      int saved = errno;
      close(fd);
      unlink(temporary.c_str());
      errno = saved;
      return false;
    }
    done += static_cast<size_t>(wrote);
  }
  close(fd);
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    int saved = errno;
    unlink(temporary.c_str());
    errno = saved;
    return false;
  }
  return true;
}

}  // namespace sim::internal
