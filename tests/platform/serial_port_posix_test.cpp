// The POSIX backend on pseudo-terminals, /dev/null and missing paths: never on
// a real serial device.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "isp/port.h"
#include "platform/serial_port.h"

namespace {

class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master_);
    unlockpt(master_);
    path_ = ptsname(master_);
  }
  ~Pty() { close(master_); }
  const std::string& path() const { return path_; }
  void Send(const std::string& bytes) { ASSERT_EQ(write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

 private:
  int master_;
  std::string path_;
};

TEST(PosixPortTest, OpenPortResults) {
  setenv("ORVALO_COM1", "/nonexistent/orvalo-port", 1);
  EXPECT_EQ(OpenPort("COM1"), -2);
  EXPECT_EQ(g_hPort, nullptr);
  setenv("ORVALO_COM1", "/dev/null", 1);  // exists, but is no terminal
  EXPECT_EQ(OpenPort("COM1"), -3);
  EXPECT_EQ(g_hPort, nullptr);
  EXPECT_EQ(OpenPort("LPT1"), -2);
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
  EXPECT_EQ(port->WaitBreak(), -1);
  canceller.join();
  EXPECT_EQ(port->WaitBreak(), -1);  // stays cancelled until reset
  port->ResetCancel();
  pty.Send("x");
  EXPECT_EQ(ReadUntil(port.get(), 1, false), "x");
}

}  // namespace
