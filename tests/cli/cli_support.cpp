#include "cli/cli_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "support/test_support.h"

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Sample() {
  std::string path = TempDir("sample") + "/firmware.hex";
  std::ifstream in(ORVALO_SAMPLES_DIR "/firmware.hex", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  WriteFile(path, text.str());
  return Quote(path);
}

CliResult RunCli(const std::string& env, const std::string& args,
                 std::function<void(const std::string&, int)> onLine, const std::string& redirect) {
  CliResult r;
  std::string settings = TempDir("cfg");
  // A runner that hangs (on a FIFO, say) fails the test instead of stalling
  // it; a runner that is to be signalled must be the process itself.
  std::string cmd = std::string(onLine ? "exec" : "exec timeout -s KILL 120") + " env -u ORVALO_SIM XDG_CONFIG_HOME=" + Quote(settings) + " " + env + " " + Quote(ORVALO_CLI_PATH) + " " +
                    args + " " + redirect;
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return r;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    close(out[1]);
    close(err[1]);
    execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  std::string partial;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open = 2;
  char buf[4096];
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) continue;
    for (pollfd& f : fds) {
      if (f.fd < 0 || !(f.revents & (POLLIN | POLLHUP))) continue;
      ssize_t n = read(f.fd, buf, sizeof buf);
      if (n <= 0) {
        close(f.fd);
        f.fd = -1;
        --open;
        continue;
      }
      if (f.fd == err[0]) {
        r.err.append(buf, size_t(n));
        continue;
      }
      r.out.append(buf, size_t(n));
      partial.append(buf, size_t(n));
      size_t nl;
      while ((nl = partial.find('\n')) != std::string::npos) {
        std::string line = partial.substr(0, nl);
        partial.erase(0, nl + 1);
        if (onLine) onLine(line, int(pid));
      }
    }
  }
  int st = 0;
  waitpid(pid, &st, 0);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : WIFSIGNALED(st) ? 128 + WTERMSIG(st) : -1;
  std::istringstream in(r.out);
  std::string line;
  while (std::getline(in, line)) r.lines.push_back(line);
  std::istringstream errIn(r.err);
  while (std::getline(errIn, line)) r.errors.push_back(line);
  return r;
}
