// Interrupts in a child process of their own, since they change how the
// whole process treats its signals.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/interrupt.h"

namespace {

int ChildStatus(void (*body)()) {
  pid_t pid = fork();
  if (pid == 0) {
    body();
    _exit(0);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

// The first interrupt is only recorded; the second ends the process at once
// with its own status. A broken pipe is no signal at all.
TEST(InterruptTest, TheFirstIsRecordedTheSecondEndsAtOnce) {
  int status = ChildStatus([] {
    plat::InstallInterruptHandlers();
    if (plat::InterruptStatus() != 0) _exit(10);
    raise(SIGPIPE);
    raise(SIGTERM);
    if (plat::InterruptStatus() != 128 + SIGTERM) _exit(11);
    raise(SIGINT);
    _exit(12);
  });
  EXPECT_EQ(status, 128 + SIGINT);
  for (int sig : {SIGINT, SIGHUP}) {
    static int s;
    s = sig;
    EXPECT_EQ(ChildStatus([] {
                plat::InstallInterruptHandlers();
                raise(s);
                _exit(plat::InterruptStatus() == 128 + s ? 0 : 13);
              }),
              0);
  }
}

}  // namespace
