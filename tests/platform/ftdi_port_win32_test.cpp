// The Windows port's D2XX path, ORVALO_SIM unset: the stand-in ftd2xx.dll
// answers for an emulated chip and simulated device on the virtual clock.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/settings_store.h"
#include "cycle/programming_cycle.h"
#include "isp/port.h"
#include "platform/clocked_lines.h"
#include "platform/clock.h"
#include "platform/ftdi_port.h"
#include "platform/serial_port.h"
#include "support/d2xx_emulation.h"
#include "support/test_support.h"
#include "support/win32_test_support.h"
#undef GetProfileString
#undef WriteProfileString

namespace {

const char kSerial[] = "RV0058LK00000000000031", kStored[] = "STORED0000000000000007";
const char kDone[] = "Programming Completed Successfully.", kNotFound[] = "Device not found. Check Power, Cable, Free COM.";

struct Row {
  const char *name, *device;  // the simulated device's items
  ChipModel model;
  long com;            // the chip's COM port
  bool dll, unplug;    // ftd2xx.dll can be loaded; the chip is gone once the chip is erased
  const char *last, *serial, *note;  // the end's status text, the stored number, part of the note
};
const Row kRows[] = {
    {"verified", "request", ChipModel::kFt232r, 1, true, false, kDone, kSerial, ""},
    {"silent", "silent", ChipModel::kFt231x, 1, true, false, kDone, kStored, ""},
    {"failwrite", "failwrite=0009", ChipModel::kFt232r, 1, true, false, "Programming Failed at 0x0009 .", kSerial, ""},
    {"badread", "badread=001C", ChipModel::kFt232r, 1, true, false, "Verify Failed at 0x001C.", kSerial, ""},
    {"com2", "port=COM2", ChipModel::kFt231x, 2, true, false, kDone, kSerial, ""},
    {"unplugged", "", ChipModel::kFt232r, 1, true, true, "Programming Failed.", kSerial, ""},
    {"ft230x", "", ChipModel::kFt230x, 1, true, false, kNotFound, kStored, "FT230X"},
    {"nolibrary", "", ChipModel::kFt232r, 1, false, false, kNotFound, kStored, ""},
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

std::vector<uint8_t> Image() {
  std::vector<uint8_t> image(40);
  for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 29 + 3);
  return image;
}

class FtdiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { plat::UseVirtualClock(true); }
  void TearDown() override {
    UnloadTestD2xx();
    ResetGlobals();
  }
  ChipBench bench;
  std::unique_ptr<FtdiChip>& chip = bench.chip;
};
class FtdiCycleTest : public FtdiTest, public ::testing::WithParamInterface<Row> {};

// Entered straight after the open and again after a break pulse of the
// UART, as a cycle does; more states than the chip's buffers take at once.
TEST_F(FtdiTest, ClockedStatesComeBackOneBehindAndNoModeChangeMovesALine) {
  ASSERT_EQ(bench.Attach("nodevice", ChipModel::kFt232r, 1), "");
  ASSERT_EQ(OpenPort("COM1"), 0);
  plat::ClockedLines* lines = g_hPort->Clocked();
  ASSERT_NE(lines, nullptr);
  for (int round = 0; round < 2; ++round) {
    if (round == 1) g_hPort->SetBreak(true), g_hPort->SetBreak(false);
    std::vector<uint8_t> states(600), samples(600);
    for (size_t i = 0; i < states.size(); ++i) states[i] = uint8_t((i * 37 + round) % 251) | plat::kPinRts;
    ASSERT_TRUE(lines->Enter());
    unsigned long transfers = bench.d2xx.Transfers();
    ASSERT_TRUE(lines->Clock(states.data(), states.size(), samples.data()));
    EXPECT_EQ(bench.d2xx.Transfers() - transfers, 2u) << "not one write and one read";
    for (size_t i = 1; i < states.size(); ++i)
      ASSERT_EQ(samples[i] & plat::kDrivenPins, states[i - 1] & plat::kDrivenPins) << i;
    ASSERT_TRUE(lines->Leave());
    EXPECT_EQ(chip->BitMode(), 0);
    EXPECT_EQ(chip->Pins() & plat::kDrivenPins, states.back() & plat::kDrivenPins);
  }
  EXPECT_EQ(chip->ModeChangeEdges(), 0u);
  EXPECT_NEAR(chip->BaudRate(), 115200, 1000);  // back at the UART's speed
  ClosePort();
}

TEST_P(FtdiCycleTest, ACycleThroughTheChipEndsAsTheDeviceDecides) {
  const Row& row = GetParam();
  UseIsolatedSettings(std::string("ftdi-") + row.name);
  WriteProfileString("Device", "Serial Number", kStored);
  UseFirmwareText(MakeHex(Image()));
  // A plain COM1 (the Wine stage's emulated port) leads to a cable with nothing on it.
  UseEmulatedDevice(std::string("ftdi-") + row.name, "nodevice");
  std::string items = std::string("serial=") + kSerial + ",flash=" + TempDir(row.name) + "/device.bin";
  ASSERT_EQ(bench.Attach(items + (*row.device ? "," : "") + row.device, row.model, row.com, row.dll), "");
  // A library in the current folder is none of the chip maker's.
  std::string here = WindowsPath(TempDir(std::string("cwd-") + row.name));
  ASSERT_TRUE(CopyFileA(WindowsPath(ORVALO_TEST_D2XX_DLL).c_str(), (here + "\\ftd2xx.dll").c_str(), FALSE));
  ASSERT_TRUE(SetCurrentDirectoryA(here.c_str()) && SetEnvironmentVariableA(kD2xxLoaded, nullptr));
  RecordingDialog dialog;
  dialog.SetVerify(true);
  if (row.unplug)
    dialog.onStatus = [&](const std::string& text) {
      if (text == "Chip Erased.") chip->Unplug();
    };
  OnStart(&dialog);
  JoinCycleThread();

  std::vector<std::string> texts = dialog.Texts();
  EXPECT_EQ(dialog.LastText(), row.last) << ::testing::PrintToString(texts);
  EXPECT_EQ(dialog.LastRed(), row.last != kDone);
  EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), row.serial);
  EXPECT_EQ(bench.d2xx.OpenHandles(), 0);
  EXPECT_EQ(chip->ModeChangeEdges(), 0u) << "a mode change moved a driven line";
  EXPECT_EQ(GetEnvironmentVariableA(kD2xxLoaded, nullptr, 0), 0u) << "the library was loaded from the current folder";
  EXPECT_TRUE(row.com != 2 || texts.at(1) == "Device found at COM2. Getting Serial Number ...");
  EXPECT_EQ(chip->Clocked() > 0, row.dll && !*row.note);
  EXPECT_TRUE((row.dll && !*row.note) || chip->UsbCalls() == 0) << "a chip that cannot clock carried the cycle";
  if (row.last == kDone) {
    std::vector<uint8_t> flash = bench.device->Flash(), image = Image();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_EQ(std::string(flash.begin() + 0x1FE9, flash.begin() + 0x1FFF), row.serial);
    EXPECT_TRUE(bench.device->Locked());
    EXPECT_EQ(bench.d2xx.LatencySet(), 2u);
  }
  // The port by itself: clocked where the chip can be, else the reason.
  std::unique_ptr<plat::SerialPort> port;
  ASSERT_EQ(plat::OpenPortByName("COM" + std::to_string(row.com), &port), 0);
  EXPECT_EQ(port->Clocked() != nullptr, row.dll && !*row.note && !row.unplug);
  std::string note = plat::ClockedLinesNote();
  EXPECT_EQ(note.empty(), !*row.note) << note;
  EXPECT_NE(note.find(row.note), std::string::npos) << note;
}

INSTANTIATE_TEST_SUITE_P(Rows, FtdiCycleTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
