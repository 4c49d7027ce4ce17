#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <climits>
#include <cstdlib>

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

namespace {
// Relative entries are ignored, as the base directory rules ask: they would
// depend on the folder the program happens to be started in.
void AddFolder(std::vector<std::string>* folders, std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (!folder.empty() && folder[0] == '/') folders->push_back(folder);
}
}  // namespace

std::vector<std::string> DataFolders() {
  std::vector<std::string> folders;
  const char* home = std::getenv("XDG_DATA_HOME");
  if (home && *home == '/') {
    AddFolder(&folders, home);
  } else if (const char* user = std::getenv("HOME")) {
    AddFolder(&folders, std::string(user) + "/.local/share");
  }
  const char* dirs = std::getenv("XDG_DATA_DIRS");
  std::string list = dirs && *dirs ? dirs : "/usr/local/share:/usr/share";
  size_t start = 0;
  for (;;) {
    size_t colon = list.find(':', start);
    AddFolder(&folders, list.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return folders;
}

bool PathMayExist(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return true;
  return errno != ENOENT && errno != ENOTDIR;
}

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
