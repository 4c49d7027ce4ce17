#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <climits>
#include <mutex>

#include "platform/file.h"

namespace plat {

std::string ProgramPath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return std::string();
  return std::string(buf, size_t(n));
}

namespace {
std::mutex g_argsMutex;
std::string g_argText;
}  // namespace

// Linux hands the arguments over already split; joined with single blanks they
// stand for the command-line text after the program's name.
void SetCommandLineArguments(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    text += argv[i];
  }
  std::lock_guard<std::mutex> g(g_argsMutex);
  g_argText = text;
}

std::string CommandLineArgumentText() {
  std::lock_guard<std::mutex> g(g_argsMutex);
  return g_argText;
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
