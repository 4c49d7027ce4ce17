#include "platform/uucp_lock_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

// The holder's PID: ten ASCII digits and a newline by convention; a few old
// programs wrote it as a 4-byte binary number.
long ReadHolder(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char buf[32];
  ssize_t n = read(fd, buf, sizeof buf - 1);
  close(fd);
  if (n == 4) {
    int binary;
    std::memcpy(&binary, buf, 4);
    if (binary > 0) return binary;
  }
  if (n <= 0) return -1;
  buf[n] = '\0';
  char* end = nullptr;
  long pid = std::strtol(buf, &end, 10);
  return end != buf && pid > 0 ? pid : -1;
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
    long holder = ReadHolder(path);
    if (holder > 0 && Alive(holder)) return holder;
    unlink(path.c_str());  // stale: its owner is gone, or it holds no PID
  }
  return 0;
}

void ReleaseUucpLock(const std::string& lockPath) {
  if (lockPath.empty()) return;
  if (ReadHolder(lockPath) == long(getpid())) unlink(lockPath.c_str());
}

}  // namespace plat
