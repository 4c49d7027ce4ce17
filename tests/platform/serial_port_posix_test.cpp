// The POSIX backend on pseudo-terminals, /dev/null and missing paths: never on
// a real serial device.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

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

TEST(PosixPortTest, APtyOpensAndIsHeldExclusively) {
  Pty pty;
  setenv("ORVALO_COM2", pty.path().c_str(), 1);
  ASSERT_EQ(OpenPort("COM2"), 0);
  std::unique_ptr<plat::SerialPort> second;
  EXPECT_NE(plat::OpenPlatformPort("COM2", &second), 0);
  ClosePort();
  EXPECT_EQ(g_hPort, nullptr);
  ASSERT_EQ(plat::OpenPlatformPort("COM2", &second), 0);  // released by the close
  setenv("ORVALO_COM2", "/nonexistent/orvalo-com2", 1);
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
  usleep(20000);
  port->ArmBreakWait();  // arming keeps the data that came before it
  ASSERT_EQ(port->Read(buf, sizeof buf), 5);
  EXPECT_EQ(buf[0], 0x10);
  EXPECT_EQ(buf[4], 'B');
}

TEST(PosixPortTest, AWaitForABreakCanBeCancelledFromAnotherThread) {
  Pty pty;
  std::unique_ptr<plat::SerialPort> port;
  ASSERT_EQ(plat::OpenPlatformPort(pty.path(), &port), 0);
  ASSERT_TRUE(port->ConfigureLine());
  port->ArmBreakWait();
  std::thread canceller([&] {
    usleep(20000);
    port->CancelWait();
  });
  EXPECT_EQ(port->WaitBreak(), -1);
  canceller.join();
  EXPECT_EQ(port->WaitBreak(), -1);  // stays cancelled until reset
  port->ResetCancel();
  pty.Send("x");
  uint8_t b;
  usleep(20000);
  EXPECT_EQ(port->Read(&b, 1), 1);
}

}  // namespace
