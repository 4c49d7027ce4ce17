#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/file.h"

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
std::unique_ptr<File> OpenFileExclusive(const std::string& path) {
  if (path.empty()) return nullptr;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct flock lk {};
  lk.l_type = F_RDLCK;
  lk.l_whence = SEEK_SET;
  // A read lock lets nobody write-lock the file; a second exclusive hold must
  // fail as well, so probe for any other holder first.
  struct flock probe = lk;
  probe.l_type = F_WRLCK;
  if (fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK) {
    close(fd);
    return nullptr;
  }
  if (fcntl(fd, F_OFD_SETLK, &lk) != 0 && errno != EINVAL && errno != ENOLCK) {
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<File>(new PosixFile(fd));
}

}  // namespace plat
