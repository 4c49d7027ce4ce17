#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/append_file.h"

namespace plat {
namespace {

class PosixAppendFile : public AppendFile {
 public:
  explicit PosixAppendFile(int fd) : fd_(fd) {}
  ~PosixAppendFile() override { close(fd_); }
  // O_APPEND makes the one write land whole at the end even when another
  // process appends at the same time without the lock.
  bool Append(const std::string& text) override {
    ssize_t n;
    do {
      n = write(fd_, text.data(), text.size());
    } while (n < 0 && errno == EINTR);
    if (n != ssize_t(text.size())) return false;
    return fsync(fd_) == 0;
  }
  // flock, not fcntl: a lock of the open file, so that closing some other
  // descriptor of the same file elsewhere in the process cannot drop it. On
  // NFS Linux maps it onto the server's byte-range locks.
  bool Lock() override {
    int r;
    do {
      r = flock(fd_, LOCK_EX);
    } while (r != 0 && errno == EINTR);
    return r == 0;
  }
  void Unlock() override { flock(fd_, LOCK_UN); }
  int64_t Size() override {
    struct stat st;
    return fstat(fd_, &st) == 0 ? int64_t(st.st_size) : -1;
  }
  long ReadAt(int64_t at, void* buf, long n) override {
    ssize_t got;
    do {
      got = pread(fd_, buf, size_t(n), off_t(at));
    } while (got < 0 && errno == EINTR);
    return long(got);
  }

 private:
  int fd_;
};

// O_NOFOLLOW and O_NONBLOCK: neither a link's target (perhaps one still to be
// created somewhere else) nor a FIFO's wait for a peer; anything that is not
// a regular file is refused once open.
std::unique_ptr<AppendFile> Open(const std::string& path, int flags, std::string* why) {
  int fd;
  do {
    fd = open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (why) *why = errno == ELOOP ? "a symbolic link" : std::strerror(errno);
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (why) *why = "not a regular file";
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<AppendFile>(new PosixAppendFile(fd));
}

}  // namespace

std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path, std::string* why) {
  return Open(path, O_RDWR | O_APPEND | O_CREAT, why);
}

std::unique_ptr<AppendFile> OpenFileForReading(const std::string& path, std::string* why) {
  return Open(path, O_RDONLY, why);
}

bool ReplaceWholeFile(const std::string& path, const std::string& text) {
  std::string temporary = path + ".new";
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return false;
  bool ok = write(fd, text.data(), text.size()) == ssize_t(text.size()) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok && rename(temporary.c_str(), path.c_str()) == 0) return true;
  unlink(temporary.c_str());
  return false;
}

}  // namespace plat

namespace plat {
bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
}  // namespace plat
