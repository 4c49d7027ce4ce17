#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/append_file.h"

namespace plat {
namespace {

bool ReadFd(int fd, std::string* text) {
  struct stat st;
  text->clear();
  if (fstat(fd, &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) return true;
  char buf[65536];
  off_t at = 0;
  while (true) {
    ssize_t n = pread(fd, buf, sizeof buf, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    text->append(buf, size_t(n));
    at += n;
  }
}

class PosixAppendFile : public AppendFile {
 public:
  explicit PosixAppendFile(int fd) : fd_(fd) {}
  ~PosixAppendFile() override { close(fd_); }
  // O_APPEND makes the one write land whole at the end even when another
  // process appends at the same time.
  bool Append(const std::string& text) override {
    ssize_t n;
    do {
      n = write(fd_, text.data(), text.size());
    } while (n < 0 && errno == EINTR);
    if (n != ssize_t(text.size())) return false;
    // A device or pipe cannot be synced; only a regular file must be.
    struct stat st;
    if (fstat(fd_, &st) == 0 && !S_ISREG(st.st_mode)) return true;
    return fsync(fd_) == 0;
  }
  bool ReadAll(std::string* text) override { return ReadFd(fd_, text); }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path, std::string* why) {
  int fd;
  do {
    fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0 && errno == EACCES) {
    // A journal we may append to but not read: duplicates cannot be looked up,
    // but the run is still recorded.
    fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  }
  if (fd < 0) {
    if (why) *why = std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<AppendFile>(new PosixAppendFile(fd));
}

bool ReadWholeFile(const std::string& path, std::string* text, std::string* why) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (why) *why = std::strerror(errno);
    return false;
  }
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!ok) {
    if (why) *why = "not a regular file";
  } else if (!ReadFd(fd, text)) {
    ok = false;
    if (why) *why = std::strerror(errno);
  }
  close(fd);
  return ok;
}

}  // namespace plat
