// The simulated device on its own: flash persistence, arrival with a serial
// number, the cable's latch and a device that vanishes.
#include <gtest/gtest.h>

#include <fstream>

#include "isp/bit_link.h"
#include "isp/instructions.h"
#include "isp/port.h"
#include "sim/sim.h"
#include "support/test_support.h"

namespace {

std::vector<uint8_t> ReadRaw(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class SimDeviceTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ClosePort();
    sim::Uninstall();
  }
};

TEST_F(SimDeviceTest, AFlashFileIsCreatedErasedAndKeepsWritesBetweenRuns) {
  std::string path = TempDir("flash") + "/device.bin";
  InstallSim("flash=" + path);
  EXPECT_EQ(ReadRaw(path), std::vector<uint8_t>(8192, 0xFF));
  ASSERT_EQ(OpenPort("COM1"), 0);
  ASSERT_EQ(EnterProgrammingMode(), 0);
  ASSERT_EQ(WriteFlashByte(0x0123, 0x5A), 0);
  ClosePort();  // the device's flash is written back when the port closes
  EXPECT_EQ(ReadRaw(path)[0x0123], 0x5A);
  sim::Uninstall();

  InstallSim("flash=" + path + ",serial=IGNORED");  // an existing device keeps its contents
  EXPECT_EQ(sim::TheDevice()->Flash()[0x0123], 0x5A);
  EXPECT_EQ(sim::TheDevice()->Flash()[0x1FE8], 0xFF);
}

TEST_F(SimDeviceTest, AFlashFileOfTheWrongSizeIsRefused) {
  std::string path = TempDir("flash") + "/short.bin";
  WriteFile(path, "abc");
  EXPECT_NE(sim::Install("time=virtual,flash=" + path).find("8192"), std::string::npos);
  EXPECT_FALSE(sim::Installed());
}

TEST_F(SimDeviceTest, ANewDeviceArrivesWithFirmwareAndItsSerialRecord) {
  InstallSim("serial=AB");
  std::vector<uint8_t> f = sim::TheDevice()->Flash();
  EXPECT_NE(f[0], 0xFF);
  EXPECT_EQ(f[0x1FE8], 2);
  EXPECT_EQ(f[0x1FE9], 'A');
  EXPECT_EQ(f[0x1FEA], 'B');
  EXPECT_EQ(f[0x1FEB], 0xFF);
  EXPECT_EQ(f[0x1FFF], uint8_t(2 + 'A' + 'B'));
}

TEST_F(SimDeviceTest, TheLevelIsLatchedOnlyByTheRtsStrobe) {
  InstallSim("");
  sim::Device* d = sim::TheDevice();
  ASSERT_EQ(OpenPort("COM1"), 0);
  EXPECT_EQ(d->ControlLevel(), 1);
  g_hPort->SetDtr(false);  // DTR alone changes nothing
  EXPECT_EQ(d->ControlLevel(), 1);
  StrobeControl(0);
  EXPECT_EQ(d->ControlLevel(), 0);
  g_hPort->SetDtr(true);
  EXPECT_EQ(d->ControlLevel(), 0);
  ClosePort();
  EXPECT_EQ(d->ControlLevel(), 0);
}

// Closing the port does what Windows' serial driver does: the break ends,
// DTR drops, then RTS, so the cable latches level 0 from a running device.
TEST_F(SimDeviceTest, ClosingThePortDropsDtrThenRtsAndLatchesReset) {
  InstallSim("");
  sim::Device* d = sim::TheDevice();
  ASSERT_EQ(OpenPort("COM1"), 0);
  g_hPort->SetBreak(true);
  EXPECT_EQ(d->ControlLevel(), 1);
  ClosePort();
  EXPECT_FALSE(d->Break());
  EXPECT_FALSE(d->Dtr());
  EXPECT_FALSE(d->Rts());
  EXPECT_EQ(d->ControlLevel(), 0);
}

TEST_F(SimDeviceTest, AVanishedDeviceAnswersNothingAndSavesItsFlash) {
  std::string path = TempDir("flash") + "/device.bin";
  // Enter (1 frame) + erase (1) + restart (1) + two writes: gone after the first write.
  InstallSim("vanish=4,flash=" + path);
  ASSERT_EQ(OpenPort("COM1"), 0);
  ASSERT_EQ(EnterProgrammingMode(), 0);
  EraseChip();
  EXPECT_EQ(WriteFlashByte(0x0000, 0x12), 0);
  EXPECT_TRUE(sim::TheDevice()->Vanished());
  EXPECT_EQ(ReadRaw(path)[0], 0x12);
  EXPECT_EQ(WriteFlashByte(0x0002, 0x34), kNoAnswer);
  uint8_t b = 0;
  EXPECT_EQ(ReadFlashByte(0x0000, &b), 0);
  EXPECT_EQ(b, 0xFF);  // CTS never asserted
  EXPECT_EQ(EnterProgrammingMode(), kNoAnswer);
}

TEST_F(SimDeviceTest, InstructionsDuringAWriteAreCountedAsViolations) {
  InstallSim("");
  ASSERT_EQ(OpenPort("COM1"), 0);
  ASSERT_EQ(EnterProgrammingMode(), 0);
  sim::TheDevice()->ClearRecords();
  // Two frames back to back with no pause: the second lands in the busy window.
  uint8_t in;
  for (uint8_t b : {0x40, 0x00, 0x00, 0x12, 0x40, 0x00, 0x01, 0x34}) TransferByte(b, &in);
  EXPECT_EQ(sim::TheDevice()->ProtocolViolations(), 1u);
  EXPECT_EQ(sim::TheDevice()->Flash()[0x0002], 0xFF);
}

}  // namespace
