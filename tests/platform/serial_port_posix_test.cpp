// The POSIX backend on pseudo-terminals, /dev/null and missing paths: never on
// a real serial device.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "isp/port.h"
#include "platform/port_problem.h"
#include "platform/serial_port.h"
#include "platform/uucp_lock_posix.h"
#include "support/test_support.h"

namespace {

class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master_);
    unlockpt(master_);
    path_ = ptsname(master_);
  }
  ~Pty() { CloseMaster(); }
  // The other end goes away, as a USB adapter pulled out does.
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }
  int master() const { return master_; }
  const std::string& path() const { return path_; }
  void Send(const std::string& bytes) { ASSERT_EQ(write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

 private:
  int master_;
  std::string path_;
};

TEST(PosixPortTest, OpenPortResults) {
  setenv("ORVALO_COM1", "/nonexistent/orvalo-port", 1);
  EXPECT_EQ(OpenPort("COM1"), kPortUnavailable);
  EXPECT_EQ(g_hPort, nullptr);
  setenv("ORVALO_COM1", "/dev/null", 1);  // exists, but is no terminal
  EXPECT_EQ(OpenPort("COM1"), kPortSetupFailed);
  EXPECT_EQ(g_hPort, nullptr);
  EXPECT_EQ(OpenPort("LPT1"), kPortUnavailable);
  setenv("ORVALO_COM1", "/nonexistent/orvalo-com1", 1);
}

// Seen from outside, as another program would try it: a second open file
// description cannot take the lock, and the terminal itself is in exclusive
// mode, which stops other users' opens.
TEST(PosixPortTest, APtyOpensAndIsHeldExclusively) {
  Pty pty;
  setenv("ORVALO_COM2", pty.path().c_str(), 1);
  ASSERT_EQ(OpenPort("COM2"), 0);
  int other = open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (other >= 0) {  // root may still open an exclusive terminal
    EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
    int exclusive = 0;
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_NE(exclusive, 0);
    close(other);
  } else {
    EXPECT_EQ(errno, EBUSY);
  }
  std::unique_ptr<plat::SerialPort> second;
  EXPECT_NE(plat::OpenPlatformPort("COM2", &second), 0);
  ClosePort();
  EXPECT_EQ(g_hPort, nullptr);
  other = open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(other, 0);
  EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);  // released by the close
  close(other);
  ASSERT_EQ(plat::OpenPlatformPort("COM2", &second), 0);
  setenv("ORVALO_COM2", "/nonexistent/orvalo-com2", 1);
}

// What the pty's other end sends arrives after a delay of the kernel's
// choosing: read until `want` bytes came, with a generous limit instead of a
// fixed sleep. Arming a break wait in between must not lose any of them.
std::string ReadUntil(plat::SerialPort* port, size_t want, bool armBetween) {
  std::string got;
  uint8_t buf[256];
  for (int tries = 0; tries < 5000 && got.size() < want; ++tries) {
    if (armBetween) port->ArmBreakWait();
    int n = port->Read(buf, sizeof buf);
    if (n > 0) got.append(reinterpret_cast<char*>(buf), size_t(n));
    if (got.size() < want) usleep(1000);
  }
  return got;
}

TEST(PosixPortTest, ReadsReturnAtOnceWithWhatHasArrived) {
  Pty pty;
  std::unique_ptr<plat::SerialPort> port;
  ASSERT_EQ(plat::OpenPlatformPort(pty.path(), &port), 0);
  ASSERT_TRUE(port->SetupQueues(1024, 1024));
  ASSERT_TRUE(port->ConfigureLine());
  ASSERT_TRUE(port->SetReadsImmediate());
  uint8_t buf[256];
  EXPECT_EQ(port->Read(buf, sizeof buf), 0);
  pty.Send("\x10\xE0\x01"
           "AB");
  EXPECT_EQ(ReadUntil(port.get(), 5, true), std::string("\x10\xE0\x01"
                                                         "AB"));
  // No more than asked for; the rest waits for the next read. (Arming a wait
  // takes what arrived into the port's own queue, so all five are there.)
  pty.Send("12345");
  for (int i = 0; i < 200; ++i) {
    port->ArmBreakWait();
    usleep(1000);
  }
  uint8_t small[4] = {0, 0, 0, 0xEE};
  ASSERT_EQ(port->Read(small, 3), 3);
  EXPECT_EQ(small[3], 0xEE);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(small), 3) + ReadUntil(port.get(), 2, false), "12345");
}

// A pseudo-terminal has no modem lines: the line operations say they failed
// (the cycle then reads all ones and finds no device), and the open itself
// does not fail for that. The break it takes.
TEST(PosixPortTest, ABareTerminalRefusesTheModemLinesAndSaysSo) {
  Pty pty;
  std::unique_ptr<plat::SerialPort> port;
  ASSERT_EQ(plat::OpenPlatformPort(pty.path(), &port), 0);
  ASSERT_TRUE(port->ConfigureLine());
  EXPECT_FALSE(port->SetDtr(true));
  EXPECT_FALSE(port->SetRts(false));
  bool cts = true;
  EXPECT_FALSE(port->GetCts(&cts));
  EXPECT_TRUE(port->SetBreak(true));
  EXPECT_TRUE(port->SetBreak(false));
}

TEST(PosixPortTest, AWaitForABreakCanBeCancelledFromAnotherThread) {
  Pty pty;
  std::unique_ptr<plat::SerialPort> port;
  ASSERT_EQ(plat::OpenPlatformPort(pty.path(), &port), 0);
  ASSERT_TRUE(port->ConfigureLine());
  port->ArmBreakWait();
  // Whether the cancel comes before the wait blocks or while it does, the
  // wait ends with -1.
  std::atomic<bool> waiting{false};
  std::thread canceller([&] {
    while (!waiting.load()) std::this_thread::yield();
    port->CancelWait();
  });
  waiting.store(true);
  EXPECT_EQ(port->WaitBreak(), plat::SerialPort::kBreakWaitCancelled);
  canceller.join();
  EXPECT_EQ(port->WaitBreak(), plat::SerialPort::kBreakWaitCancelled);  // stays cancelled until reset
  port->ResetCancel();
  pty.Send("x");
  EXPECT_EQ(ReadUntil(port.get(), 1, false), "x");
}

}  // namespace

namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A PID that surely runs no process: a child that has ended and been reaped.
long DeadPid() {
  pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return long(child);
}

class PortLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = TempDir("locks");
    setenv("ORVALO_LOCK_DIR", dir.c_str(), 1);
    setenv("ORVALO_COM1", pty.path().c_str(), 1);
    lock = plat::UucpLockPath(pty.path());
  }
  void TearDown() override {
    ClosePort();
    unsetenv("ORVALO_LOCK_DIR");
    setenv("ORVALO_COM1", "/nonexistent/orvalo-com1", 1);
  }
  Pty pty;
  std::string dir, lock;
};

TEST_F(PortLockTest, TheLockFileNamesTheDeviceAndHoldsTheOwnersPid) {
  EXPECT_EQ(lock, dir + "/LCK.." + pty.path().substr(5).replace(3, 1, "_"));  // pts/N -> pts_N
  ASSERT_EQ(OpenPort("COM1"), 0);
  char expected[16];
  std::snprintf(expected, sizeof expected, "%10ld\n", long(getpid()));
  EXPECT_EQ(ReadText(lock), expected);
  ClosePort();
  EXPECT_NE(access(lock.c_str(), F_OK), 0);  // released with the port
}

TEST_F(PortLockTest, ALiveHolderKeepsThePortAndIsNamed) {
  // Not even opened: on a serial port the open alone raises DTR and RTS.
  int opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(inotify_add_watch(opens, pty.path().c_str(), IN_OPEN), 0);
  // init runs as long as the machine does: PID 1 as HDB text, as short text,
  // and as an old program's binary number.
  for (std::string held : {std::string("         1\n"), std::string("  1\n"), std::string("\1\0\0\0", 4)}) {
    WriteFile(lock, held);
    EXPECT_EQ(OpenPort("COM1"), kPortUnavailable);
    char event[256];
    EXPECT_LT(read(opens, event, sizeof event), 0) << "the port was opened";
    plat::PortNote note = plat::LastPortProblem("COM1");
    EXPECT_EQ(note.problem, plat::PortProblem::kInUse);
    EXPECT_EQ(note.holderPid, 1);
    EXPECT_EQ(ReadText(lock), held);  // somebody else's lock is left alone
  }
  close(opens);
}

TEST_F(PortLockTest, AStaleLockIsRemovedAndTheOpenGoesOn) {
  WriteFile(lock, std::to_string(DeadPid()) + "\n");
  ASSERT_EQ(OpenPort("COM1"), 0);
  EXPECT_EQ(std::stol(ReadText(lock)), long(getpid()));
  ClosePort();
  WriteFile(lock, "garbage");  // no PID at all: nobody can be holding it
  EXPECT_EQ(OpenPort("COM1"), 0);
  ClosePort();
  WriteFile(lock, "");  // another program's, between its create and its write
  EXPECT_EQ(OpenPort("COM1"), kPortUnavailable);
  EXPECT_EQ(access(lock.c_str(), F_OK), 0);
}

// Root passes TIOCEXCL, so another program's exclusive hold is looked for
// before the open is accepted; the port's own hold ends with its close (a pty
// would keep it otherwise).
TEST_F(PortLockTest, APortAnotherProgramHoldsExclusivelyIsInUse) {
  int other = open(pty.path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0);
  ASSERT_EQ(ioctl(other, TIOCEXCL), 0);
  EXPECT_EQ(OpenPort("COM1"), kPortUnavailable);
  EXPECT_EQ(plat::LastPortProblem("COM1").problem, plat::PortProblem::kInUse);
  ASSERT_EQ(ioctl(other, TIOCNXCL), 0);
  ASSERT_EQ(OpenPort("COM1"), 0);
  int held = 0;
  EXPECT_EQ(ioctl(other, TIOCGEXCL, &held), 0);
  EXPECT_EQ(held, 1);
  ClosePort();
  EXPECT_EQ(ioctl(other, TIOCGEXCL, &held), 0);
  EXPECT_EQ(held, 0);
  close(other);
}

TEST_F(PortLockTest, WhyAPortWasNotUsedIsNoted) {
  setenv("ORVALO_COM1", "/nonexistent/orvalo-port", 1);
  EXPECT_EQ(OpenPort("COM1"), kPortUnavailable);
  EXPECT_EQ(plat::LastPortProblem("COM1").problem, plat::PortProblem::kAbsent);
  EXPECT_EQ(plat::LastPortProblem("COM1").path, "/nonexistent/orvalo-port");
  setenv("ORVALO_COM1", "/dev/null", 1);
  EXPECT_EQ(OpenPort("COM1"), kPortSetupFailed);
  EXPECT_EQ(plat::LastPortProblem("COM1").problem, plat::PortProblem::kNotSerial);
  EXPECT_EQ(access((dir + "/LCK..null").c_str(), F_OK), -1);  // no lock for what is no port
  std::string unreadable = dir + "/no-access";
  WriteFile(unreadable, "");
  chmod(unreadable.c_str(), 0);
  setenv("ORVALO_COM1", unreadable.c_str(), 1);
  if (geteuid() != 0) {  // root may open anything
    EXPECT_EQ(OpenPort("COM1"), kPortUnavailable);
    EXPECT_EQ(plat::LastPortProblem("COM1").problem, plat::PortProblem::kPermissionDenied);
  }
}

// The port's descriptor is non-blocking: with the output queue full the 0x06
// of the serial-number exchange waits for room instead of being dropped.
TEST_F(PortLockTest, AByteSentIntoAFullQueueWaitsForRoom) {
  ASSERT_EQ(OpenPort("COM1"), 0);
  int other = open(pty.path().c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(other, 0);
  char fill[4096] = {};
  while (write(other, fill, sizeof fill) > 0) {
  }
  ASSERT_EQ(errno, EAGAIN);
  close(other);
  std::thread reader([this] {
    usleep(5000);
    char buf[4096];
    fcntl(pty.master(), F_SETFL, O_NONBLOCK);
    for (int i = 0; i < 200; ++i) {
      if (read(pty.master(), buf, sizeof buf) <= 0) usleep(1000);
    }
  });
  EXPECT_TRUE(g_hPort->TransmitChar(0x06));
  reader.join();
}

// A queue that never drains gives the byte up after a short wait, so a cable
// whose other end holds the output cannot hang the cycle.
TEST_F(PortLockTest, AByteThatNeverFindsRoomIsGivenUp) {
  ASSERT_EQ(OpenPort("COM1"), 0);
  int other = open(pty.path().c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(other, 0);
  // The kernel moves what was written on to the other end's queue behind
  // our back: filled until a pause frees no more room, both queues are full.
  char fill[4096] = {};
  for (bool wrote = true; wrote;) {
    wrote = false;
    while (write(other, fill, sizeof fill) > 0) wrote = true;
    ASSERT_EQ(errno, EAGAIN);
    usleep(20000);
  }
  close(other);
  EXPECT_FALSE(g_hPort->TransmitChar(0x06));
}

// With the other end gone, a byte fails at once instead of waiting for room
// that will never come.
TEST_F(PortLockTest, AByteForAPortWhoseOtherEndIsGoneFails) {
  ASSERT_EQ(OpenPort("COM1"), 0);
  pty.CloseMaster();
  EXPECT_FALSE(g_hPort->TransmitChar(0x06));
}

}  // namespace
