// The Linux chip backend through the real libftdi1, which the test's fake
// libusb connects to an emulated chip with the simulated device on its cable.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/clock.h"
#include "platform/clocked_lines.h"
#include "platform/ftdi_port.h"
#include "support/chip_on_usb.h"
#include "support/test_support.h"

namespace {

class FtdiPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::UseVirtualClock(true);
    root = TempDir("sysfs");
    setenv("ORVALO_SYSFS_ROOT", root.c_str(), 1);
    setenv("ORVALO_COM1", "/nonexistent/ttyUSB3", 1);
  }
  void TearDown() override {
    unsetenv("ORVALO_SYSFS_ROOT");
    setenv("ORVALO_COM1", "/nonexistent/orvalo-com1", 1);
  }
  plat::FtdiOpen Open(std::unique_ptr<plat::SerialPort>* port, std::string* why) {
    return plat::OpenFtdiPort("COM1", port, why);
  }
  std::string root;
};

// The lines as the cycle drives them reach the device through both modes, and
// no mode change moves a line: entering right after the open, whose reset
// left the latch low while DTR and RTS are asserted and the clock line high,
// and again after a stretch in the UART.
TEST_F(FtdiPortTest, ClocksTheLinesAndChangesModeWithoutMovingThem) {
  ChipOnUsb usb(ChipModel::kFt232r, "serial=RV0058LK00000000000042", root, "ttyUSB3");
  std::unique_ptr<plat::SerialPort> port;
  std::string why;
  ASSERT_EQ(Open(&port, &why), plat::FtdiOpen::kOpened) << why;
  EXPECT_FALSE(usb.DriverBound());
  ASSERT_TRUE(port->ConfigureLine());
  EXPECT_TRUE(usb.device().Dtr() && usb.device().Rts() && !usb.device().Break());
  plat::ClockedLines* lines = port->Clocked();
  ASSERT_NE(lines, nullptr);
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(lines->Enter());
    // More states than the chip's buffers hold, each sample the pins as that
    // state left them.
    std::vector<uint8_t> states(700), samples(700);
    for (size_t i = 0; i < states.size(); ++i) states[i] = uint8_t((i * 7 / 3) % 2 ? 0x15 : 0x14);
    states.back() = round ? 0x01 : 0x11;  // RTS asserted, break clear, DTR dropped in the first
    ASSERT_TRUE(lines->Clock(states.data(), states.size(), samples.data()));
    for (size_t i = 0; i < states.size(); ++i)
      ASSERT_EQ(samples[i] & plat::kDrivenPins, states[i] & plat::kDrivenPins) << "state " << i;
    EXPECT_LE(usb.chip().MostWaitingToClock(), usb.chip().HostToChipBuffer());
    EXPECT_EQ(usb.chip().BaudRate(), lines->Rate());
    ASSERT_TRUE(lines->Leave());
    EXPECT_EQ(usb.chip().BitMode(), 0);
    EXPECT_TRUE(usb.device().Dtr() == (round == 1) && usb.device().Rts() && !usb.device().Break());
    ASSERT_TRUE(port->SetBreak(true) && port->SetBreak(false));
  }
  EXPECT_EQ(usb.chip().ModeChangeEdges(), 0u);
  port.reset();
  EXPECT_TRUE(usb.DriverBound());
}

// The serial-number exchange in UART mode: the firmware's break seen in the
// line status, answered with a break pulse and 0x06, its report read back
// without the break's null byte.
TEST_F(FtdiPortTest, UartCarriesTheExchange) {
  ChipOnUsb usb(ChipModel::kFt231x, "serial=RV0058LK00000000000042", root, "ttyUSB3");
  std::unique_ptr<plat::SerialPort> port;
  std::string why;
  ASSERT_EQ(Open(&port, &why), plat::FtdiOpen::kOpened) << why;
  ASSERT_TRUE(port->ConfigureLine() && port->ArmBreakWait());
  ASSERT_EQ(port->WaitBreak(), 1);
  ASSERT_TRUE(port->SetBreak(true) && port->SetBreak(false) && port->TransmitChar(0x06));
  std::string got;
  for (int64_t end = plat::NowUs() + 20000; plat::NowUs() < end;) {
    uint8_t buf[64];
    int n = port->Read(buf, sizeof buf);
    ASSERT_GE(n, 0);
    got.append(reinterpret_cast<char*>(buf), size_t(n));
  }
  EXPECT_EQ(got, std::string("\x10\xE0\x15") + "RV0058LK00000000000042");
  port->CancelWait();
  EXPECT_EQ(port->WaitBreak(), -1);
}

// A chip that cannot carry the cable, and one the operator may not open, are
// left to the plain port with the reason; the tty stays with the kernel.
TEST_F(FtdiPortTest, UnusableChipsSayWhy) {
  struct Row {
    ChipModel model;
    bool denied;
    const char* reason;
  } rows[] = {
      {ChipModel::kFt230x, false, "FT230X behind /nonexistent/ttyUSB3 has no DTR pin"},
      {ChipModel::kFt231x, true, "no access to /dev/bus/usb/001/007 (the FTDI chip behind /nonexistent/ttyUSB3): the udev rule"},
  };
  for (const Row& row : rows) {
    std::string dir = TempDir("sysfs");
    setenv("ORVALO_SYSFS_ROOT", dir.c_str(), 1);
    ChipOnUsb usb(row.model, "serial=RV0058LK00000000000042", dir, "ttyUSB3");
    if (row.denied) usb.DenyAccess();
    std::unique_ptr<plat::SerialPort> port;
    std::string why;
    EXPECT_EQ(Open(&port, &why), plat::FtdiOpen::kUnusable);
    EXPECT_NE(why.find(row.reason), std::string::npos) << why;
    EXPECT_TRUE(usb.DriverBound());
  }
}

}  // namespace
