#include "platform/uucp_lock_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plat {
namespace {

std::string LockDirectory() {
  if (const char* dir = std::getenv("ORVALO_LOCK_DIR")) return dir;
  struct stat st;
  if (stat("/run/lock", &st) == 0 && S_ISDIR(st.st_mode)) return "/run/lock";
  return "/var/lock";
}

constexpr long kHolderUnknown = -1;  // a lock that may be held, by nobody we can name

// The holder's PID as the lock file's bytes give it: the HDB form is ten
// characters, the decimal PID right-aligned, and a newline, but any decimal
// with blanks around it and a newline is taken as the same text, also in just
// four bytes ("  1\n"). A few old programs wrote a 4-byte binary number
// instead; that is read only from four bytes that are no such text (a PID
// below 2^24 has a zero byte, which the text never has). 0: no PID at all.
long ParseHolder(const char* bytes, ssize_t n) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  ssize_t i = 0, digits = 0;
  long long pid = 0;
  while (i < n && blank(bytes[i])) ++i;
  for (; i < n && bytes[i] >= '0' && bytes[i] <= '9' && digits < 10; ++i, ++digits) pid = pid * 10 + (bytes[i] - '0');
  while (i < n && blank(bytes[i])) ++i;
  if (digits > 0 && i == n) return pid <= INT32_MAX ? long(pid) : 0;
  if (n == 4) {
    int32_t binary;
    std::memcpy(&binary, bytes, 4);
    if (binary > 0) return binary;
  }
  return 0;
}

// The holder of the lock file open as fd, or kHolderUnknown for one still
// being written: a program that creates the file first and writes its PID
// next leaves it empty for a moment.
long ReadHolder(int fd, const struct stat& st) {
  char buf[32];
  ssize_t n = read(fd, buf, sizeof buf);
  if (n < 0) return kHolderUnknown;
  long long age = static_cast<long long>(time(nullptr) - st.st_mtime);
  if (n == 0 && age > -10 && age < 10) return kHolderUnknown;
  return ParseHolder(buf, n);
}

bool Alive(long pid) { return kill(pid_t(pid), 0) == 0 || errno == EPERM; }

}  // namespace

std::string UucpLockPath(const std::string& devicePath) {
  char resolved[PATH_MAX];
  std::string device = realpath(devicePath.c_str(), resolved) ? resolved : devicePath;
  if (device.compare(0, 5, "/dev/") == 0) device.erase(0, 5);
  for (char& c : device)
    if (c == '/') c = '_';
  return LockDirectory() + "/LCK.." + device;
}

long TakeUucpLock(const std::string& devicePath, std::string* lockPath) {
  lockPath->clear();
  std::string path = UucpLockPath(devicePath);
  for (int attempt = 0; attempt < 3; ++attempt) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      char text[16];
      int len = std::snprintf(text, sizeof text, "%10ld\n", long(getpid()));
      bool ok = write(fd, text, size_t(len)) == len;
      close(fd);
      if (!ok) {
        unlink(path.c_str());
        return 0;
      }
      *lockPath = path;
      return 0;
    }
    // A folder that does not exist or that we may not write: nobody else
    // here can take a lock there either, so the lock adds nothing.
    if (errno != EEXIST) return 0;
    int lockFd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (lockFd < 0) {
      if (errno == ENOENT) continue;  // released meanwhile
      return kHolderUnknown;          // there, but not ours to read
    }
    struct stat st;
    long holder = fstat(lockFd, &st) == 0 ? ReadHolder(lockFd, st) : kHolderUnknown;
    close(lockFd);
    if (holder == kHolderUnknown || (holder > 0 && Alive(holder))) return holder;
    // Stale: its owner is gone, or it holds no PID. Removed only while the
    // name still leads to the file read: another program may have replaced a
    // stale lock with its own in the meantime.
    struct stat now;
    if (lstat(path.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino) unlink(path.c_str());
  }
  return kHolderUnknown;  // taken by others as fast as it went stale
}

void ReleaseUucpLock(const std::string& lockPath) {
  if (lockPath.empty()) return;
  int fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st;
  bool ours = fstat(fd, &st) == 0 && ReadHolder(fd, st) == long(getpid());
  close(fd);
  if (ours) unlink(lockPath.c_str());
}

}  // namespace plat
