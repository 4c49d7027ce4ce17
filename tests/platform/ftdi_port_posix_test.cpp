// The Linux chip backend through the real libftdi1, which the test's fake
// libusb connects to an emulated chip with the simulated device on its cable.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "cycle/programming_cycle.h"
#include "platform/clock.h"
#include "platform/clocked_lines.h"
#include "platform/ftdi_port.h"
#include "platform/port_problem.h"
#include "platform/thread.h"
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
    ResetGlobals();
    plat::ClearPortNotes();
    unsetenv("ORVALO_SYSFS_ROOT");
    setenv("ORVALO_COM1", "/nonexistent/orvalo-com1", 1);
    setenv("ORVALO_COM2", "/nonexistent/orvalo-com2", 1);
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

// Whole cycles of the library with the chip behind COM1 or COM2 and ORVALO_SIM
// unset: each ends as on any port, the chip's interface is released and the
// tty given back to the kernel, whatever the ending.
TEST_F(FtdiPortTest, WholeCyclesThroughTheChip) {
  const std::string kSerial = "RV0058LK00000000000042";
  struct Row {
    const char* name;
    ChipModel model;
    const char* sim;  // the device's items after serial=
    const char* port;
    bool verify;
    uint64_t unplugAfter;  // USB calls
    const char* last;      // the last status text
    const char* seen;      // a status text on the way, or the note on COM1
  } rows[] = {
      {"verified", ChipModel::kFt232r, ",request", "COM1", true, UINT64_MAX, "Programming Completed Successfully.",
       "Serial Number OK."},
      {"silent", ChipModel::kFt231x, ",silent", "COM1", false, UINT64_MAX, "Programming Completed Successfully.",
       "No Serial Number found. Default to Factory."},
      {"failed write", ChipModel::kFt232r, ",failwrite=0011", "COM1", false, UINT64_MAX,
       "Programming Failed at 0x0011 .", "Serial Number OK."},
      {"failed verify", ChipModel::kFt232r, ",badread=0013", "COM1", true, UINT64_MAX, "Verify Failed at 0x0013.",
       "Serial Number OK."},
      {"on COM2", ChipModel::kFt231x, ",port=COM2", "COM2", true, UINT64_MAX, "Programming Completed Successfully.",
       "Device found at COM2. Getting Serial Number ..."},
      {"unplugged", ChipModel::kFt232r, "", "COM1", true, 3000, nullptr, "Serial Number OK."},
      // Left to the plain port, which leads nowhere here, with the reason.
      {"FT230X", ChipModel::kFt230x, ",port=COM2", "COM2", false, UINT64_MAX,
       "Device not found. Check Power, Cable, Free COM.",
       "the FT230X behind /nonexistent/ttyUSB3 has no DTR pin to clock"},
      {"no access", ChipModel::kFt231x, ",port=COM2", "COM2", false, 0, "Device not found. Check Power, Cable, Free COM.",
       "no access to /dev/bus/usb/001/007 (the FTDI chip behind /nonexistent/ttyUSB3): the udev rule "
       "/usr/lib/udev/rules.d/60-orvalo-programmer-ftdi.rules gives the dialout group access"},
  };
  std::vector<uint8_t> image(40);
  for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 37 + 5);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string dir = TempDir("sysfs");
    setenv("ORVALO_SYSFS_ROOT", dir.c_str(), 1);
    bool com1 = row.port == std::string("COM1");
    setenv("ORVALO_COM1", com1 ? "/nonexistent/ttyUSB3" : "/nonexistent/orvalo-com1", 1);
    setenv("ORVALO_COM2", com1 ? "/nonexistent/orvalo-com2" : "/nonexistent/ttyUSB3", 1);
    ChipOnUsb usb(row.model, "serial=" + kSerial + row.sim, dir, "ttyUSB3", row.port);
    if (row.unplugAfter == 0)
      usb.DenyAccess();
    else
      usb.chip().UnplugAfterCalls(row.unplugAfter);
    UseIsolatedSettings("ftdi");
    UseFirmwareText(MakeHex(image));
    RecordingDialog dialog;
    dialog.SetVerify(row.verify);
    OnStart(&dialog);
    JoinCycleThread();
    EXPECT_EQ(plat::RunningThreadCount(), 0);
    std::vector<std::string> texts;
    for (const StatusLine& l : dialog.Status()) texts.push_back(l.text);
    if (row.last) {
      EXPECT_EQ(dialog.LastText(), row.last);
    } else {  // a clear failure, and the serial number the device reported
      EXPECT_TRUE(dialog.LastRed());
      EXPECT_EQ(std::count(texts.begin(), texts.end(), "Programming Completed Successfully."), 0);
      EXPECT_EQ(dialog.SerialText(), kSerial);
      EXPECT_TRUE(usb.chip().Unplugged());
    }
    bool seen = std::count(texts.begin(), texts.end(), row.seen) > 0 || plat::ClockedLinesNote() == row.seen;
    EXPECT_TRUE(seen) << plat::ClockedLinesNote();
    if (row.seen == std::string("Serial Number OK.")) {
      EXPECT_EQ(dialog.SerialText(), kSerial);
    }
    if (row.last && std::string(row.last) == "Programming Completed Successfully.") {
      std::vector<uint8_t> flash = usb.device().Flash();
      EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    }
    EXPECT_EQ(fake_usb_open_handles(), 0);
    EXPECT_TRUE(usb.DriverBound());
    EXPECT_EQ(usb.chip().ModeChangeEdges(), 0u);
    ResetGlobals();
  }
}

}  // namespace
