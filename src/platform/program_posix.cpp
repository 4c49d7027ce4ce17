#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <climits>

#include "platform/file.h"
#include "platform/handed_arguments.h"

namespace plat {

std::string ProgramPath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return std::string();
  return std::string(buf, size_t(n));
}

// Linux hands the arguments over already split (handed_arguments.cpp).
std::string CommandLineArgumentText() {
  std::string text;
  HandedArgumentText(&text);
  return text;
}

std::string StartupTitle() { return std::string(); }
bool HasStartupTitle() { return false; }

}  // namespace plat

namespace plat {
bool StdoutIsTerminal() { return isatty(1) == 1; }
}  // namespace plat

namespace plat {
void OpenStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
}
}  // namespace plat
