#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/file_internal.h"

namespace plat {
namespace {

class PosixFile : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { close(fd_); }
  int Read(void* buf, int n) override {
    ssize_t r;
    do {
      r = read(fd_, buf, size_t(n));
    } while (r < 0 && errno == EINTR);
    return r < 0 ? -1 : int(r);
  }
  bool Rewind() override { return lseek(fd_, 0, SEEK_SET) == 0; }

 private:
  int fd_;
};

}  // namespace

// Linux has no share modes. An open file description lock is the nearest
// thing: a second holder in this or another process that asks the same way is
// refused, and the lock lasts exactly as long as this open file.
std::unique_ptr<File> OpenExistingExclusive(const std::string& path, OpenRefusal* refusal) {
  std::string& why = refusal->why;
  // Looked at before it is opened: opening a FIFO waits for a writer and
  // opening a serial device may move its control lines.
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    why = std::strerror(errno);
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    why = "not a regular file";
    refusal->notRegular = true;
    return nullptr;
  }
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    why = std::strerror(errno);
    return nullptr;
  }
  // Replaced between the look and the open.
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    why = "not a regular file";
    refusal->notRegular = true;
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  struct flock lk {};
  lk.l_type = F_RDLCK;
  lk.l_whence = SEEK_SET;
  // A read lock lets nobody write-lock the file; a second exclusive hold must
  // fail as well, so probe for any other holder first.
  struct flock probe = lk;
  probe.l_type = F_WRLCK;
  if (fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK) {
    close(fd);
    why = "held by another program";
    return nullptr;
  }
  if (fcntl(fd, F_OFD_SETLK, &lk) != 0 && errno != EINVAL && errno != ENOLCK) {
    close(fd);
    why = "held by another program";
    return nullptr;
  }
  return std::unique_ptr<File>(new PosixFile(fd));
}

}  // namespace plat
