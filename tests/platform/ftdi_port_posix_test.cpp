// The Linux chip backend through the real libftdi1, which the test's fake
// libusb connects to an emulated chip with the simulated device on its cable.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

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
    plat::ClearPortNotes();
    unsetenv("ORVALO_SYSFS_ROOT");
    setenv("ORVALO_COM1", "/nonexistent/orvalo-com1", 1);
    setenv("ORVALO_COM2", "/nonexistent/orvalo-com2", 1);
  }
  std::string root;
};

// Each sample shows the lines just before its state goes out, over more
// states than the chip's buffers hold, and all of them cost one write and one
// read in flight together: one round trip, not one per piece the buffers take.
TEST_F(FtdiPortTest, SamplesFollowTheirStates) {
  ChipOnUsb usb(ChipModel::kFt232r, "serial=RV0058LK00000000000042", root, "ttyUSB3");
  std::unique_ptr<plat::SerialPort> port;
  std::string why;
  ASSERT_EQ(plat::OpenFtdiPort("COM1", &port, &why), plat::FtdiOpen::kOpened) << why;
  ASSERT_TRUE(port->ConfigureLine() && port->Clocked() && port->Clocked()->Enter());
  std::vector<uint8_t> states(700), samples(700);
  for (size_t i = 0; i < states.size(); ++i) states[i] = uint8_t((i * 7 / 3) % 2 ? 0x15 : 0x14);
  uint64_t calls = usb.chip().UsbCalls();
  int64_t start = plat::NowUs();
  ASSERT_TRUE(port->Clocked()->Clock(states.data(), states.size(), samples.data()));
  EXPECT_EQ(usb.chip().UsbCalls() - calls, 2u);
  EXPECT_LT(plat::NowUs() - start, 1000 + int64_t(states.size()) * 1000000 / port->Clocked()->Rate() + 100);
  for (size_t i = 1; i < states.size(); ++i)
    ASSERT_EQ(samples[i] & plat::kDrivenPins, states[i - 1] & plat::kDrivenPins) << "state " << i;
  EXPECT_EQ(usb.chip().BaudRate(), port->Clocked()->Rate());
}

// Whole cycles of the library with the chip behind COM1 or COM2 and ORVALO_SIM
// unset: each ends as on any port, the chip's interface is released and the
// tty given back to the kernel, whatever the ending.
TEST_F(FtdiPortTest, WholeCyclesThroughTheChip) {
  const std::string kSerial = "RV0058LK00000000000042";
  const char* kDone = "Programming Completed Successfully.";
  const char* kNotFound = "Device not found. Check Power, Cable, Free COM.";
  // The device's items after serial=, the chip's port, verify, the USB calls
  // before the chip is unplugged (0: the operator may not open it), the last
  // status text (null: a failure), a status text on the way or the note.
  struct Row {
    ChipModel model;
    const char *sim, *port;
    bool verify;
    uint64_t unplugAfter;
    const char *last, *seen;
    bool held;  // another program holds the chip's tty exclusively
  } rows[] = {
      {ChipModel::kFt232r, ",request", "COM1", true, UINT64_MAX, kDone, "Serial Number OK.", false},
      {ChipModel::kFt231x, ",silent", "COM1", false, UINT64_MAX, kDone, "No Serial Number found. Default to Factory.", false},
      {ChipModel::kFt232r, ",failwrite=0011", "COM1", false, UINT64_MAX, "Programming Failed at 0x0011 .", "Chip Erased.", false},
      {ChipModel::kFt232r, ",badread=0013", "COM1", true, UINT64_MAX, "Verify Failed at 0x0013.", "Serial Number OK.", false},
      {ChipModel::kFt231x, ",port=COM2", "COM2", true, UINT64_MAX, kDone, "Device found at COM2. Getting Serial Number ...", false},
      {ChipModel::kFt232r, "", "COM1", true, 300, nullptr, "Serial Number OK.", false},
      // Left to the plain port, which leads nowhere here, with the reason.
      {ChipModel::kFt230x, ",port=COM2", "COM2", false, UINT64_MAX, kNotFound,
       "the FT230X behind /nonexistent/ttyUSB3 has no DTR pin to clock", false},
      {ChipModel::kFt231x, ",port=COM2", "COM2", false, 0, kNotFound,
       "no access to /dev/bus/usb/001/007 (the FTDI chip behind /nonexistent/ttyUSB3): the udev rule "
       "/usr/lib/udev/rules.d/60-orvalo-programmer-ftdi.rules gives the dialout group access", false},
      {ChipModel::kFt232r, ",port=COM2", "COM2", false, UINT64_MAX, kNotFound, "Auto Detecting Device ...", true},
  };
  std::vector<uint8_t> image(40);
  for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 37 + 5);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.seen);
    std::string dir = TempDir("sysfs");
    setenv("ORVALO_SYSFS_ROOT", dir.c_str(), 1);
    std::string tty = "/nonexistent/ttyUSB3";
    int master = row.held ? posix_openpt(O_RDWR | O_NOCTTY) : -1, slave = -1;
    if (row.held && grantpt(master) == 0 && unlockpt(master) == 0) {
      tty = ptsname(master);
      slave = open(tty.c_str(), O_RDWR | O_NOCTTY);
      ASSERT_EQ(ioctl(slave, TIOCEXCL), 0);
    }
    bool com1 = row.port == std::string("COM1");
    setenv("ORVALO_COM1", com1 ? tty.c_str() : "/nonexistent/orvalo-com1", 1);
    setenv("ORVALO_COM2", com1 ? "/nonexistent/orvalo-com2" : tty.c_str(), 1);
    ChipOnUsb usb(row.model, "serial=" + kSerial + row.sim, dir, tty.substr(tty.rfind('/') + 1), row.port);
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
    std::vector<std::string> texts = dialog.Texts();
    if (row.last) {
      EXPECT_EQ(dialog.LastText(), row.last);
    } else {  // a clear failure, never a success
      EXPECT_TRUE(dialog.LastRed() && usb.chip().Unplugged());
      EXPECT_EQ(std::count(texts.begin(), texts.end(), kDone), 0);
    }
    bool seen = std::count(texts.begin(), texts.end(), row.seen) > 0 || plat::ClockedLinesNote() == row.seen;
    EXPECT_TRUE(seen) << plat::ClockedLinesNote();
    if (row.seen == std::string("Serial Number OK.")) {
      EXPECT_EQ(dialog.SerialText(), kSerial);
    }
    if (dialog.LastText() == kDone) {
      EXPECT_TRUE(std::equal(image.begin(), image.end(), usb.device().Flash().begin()));
    }
    // A chip in use at all clocked the programming link.
    EXPECT_EQ(usb.chip().Clocked() > 0, usb.chip().UsbCalls() > 0);
    EXPECT_EQ(usb.chip().UsbCalls() == 0, row.last == kNotFound);  // a chip it cannot use stays untouched
    EXPECT_EQ(fake_usb_open_handles(), 0);
    EXPECT_TRUE(usb.DriverBound());
    EXPECT_EQ(usb.chip().ModeChangeEdges(), 0u);
    ResetGlobals();
    if (row.held) close(slave), close(master);
  }
}

}  // namespace
