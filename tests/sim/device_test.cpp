// The simulated device on its own: the device file kept between runs,
// arrival with a serial number, the cable's latch and a device that vanishes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "isp/bit_link.h"
#include "isp/instructions.h"
#include "isp/port.h"
#include "platform/clock.h"
#include "platform/clocked_lines.h"
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

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

TEST_F(SimDeviceTest, TheDeviceFileIsMadeOnlyOnceAPortOpensAndKeepsWritesBetweenRuns) {
  std::string path = TempDir("flash") + "/device.bin";
  InstallSim("flash=" + path);
  sim::Uninstall();  // a run that never opened a port leaves nothing behind
  EXPECT_FALSE(Exists(path));
  EXPECT_FALSE(Exists(path + ".eeprom"));
  EXPECT_FALSE(Exists(path + ".lock"));

  InstallSim("flash=" + path);
  ASSERT_EQ(OpenPort("COM1"), 0);
  EXPECT_EQ(ReadRaw(path), std::vector<uint8_t>(8192, 0xFF));
  EXPECT_EQ(ReadRaw(path + ".eeprom"), std::vector<uint8_t>(512, 0xFF));
  EXPECT_EQ(ReadRaw(path + ".lock"), std::vector<uint8_t>{0xFF});
  ASSERT_EQ(EnterProgrammingMode(), 0);
  ASSERT_EQ(WriteFlashByte(0x0123, 0x5A), 0);
  ClosePort();  // the device's memories are written back when the port closes
  EXPECT_EQ(ReadRaw(path)[0x0123], 0x5A);
  sim::Uninstall();

  InstallSim("flash=" + path + ",serial=IGNORED");  // an existing device keeps its contents
  EXPECT_EQ(sim::TheDevice()->Flash()[0x0123], 0x5A);
  EXPECT_EQ(sim::TheDevice()->Flash()[0x1FE8], 0xFF);
}

TEST_F(SimDeviceTest, ABadDeviceFileIsRefusedNamingTheItemAndNothingIsWritten) {
  std::string dir = TempDir("flash");
  std::string shortFile = dir + "/short.bin";
  WriteFile(shortFile, "abc");
  std::string err = sim::Install("time=virtual,flash=" + shortFile);
  EXPECT_NE(err.find("\"flash=" + shortFile + "\""), std::string::npos) << err;
  EXPECT_NE(err.find("8192"), std::string::npos) << err;
  EXPECT_EQ(ReadRaw(shortFile).size(), 3u);

  err = sim::Install("time=virtual,flash=" + dir);  // a folder
  EXPECT_NE(err.find("\"flash=" + dir + "\""), std::string::npos) << err;
  err = sim::Install("time=virtual,flash=" + dir + "/no/such/folder/device.bin");
  EXPECT_NE(err.find("no such folder"), std::string::npos) << err;

  // The memories beside a good flash file must be whole too.
  std::string good = dir + "/good.bin";
  WriteFile(good, std::string(8192, '\xFF'));
  WriteFile(good + ".eeprom", std::string(100, '\xFF'));
  err = sim::Install("time=virtual,flash=" + good);
  EXPECT_NE(err.find("512"), std::string::npos) << err;
  std::filesystem::remove(good + ".eeprom");
  std::filesystem::create_directory(good + ".lock");
  err = sim::Install("time=virtual,flash=" + good);
  EXPECT_NE(err.find(".lock"), std::string::npos) << err;
  EXPECT_FALSE(sim::Installed());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 3)
      << "only short.bin, good.bin and good.bin.lock";
}

TEST_F(SimDeviceTest, AFlashFileThatCannotBeReadIsRefusedNotReplaced) {
  std::string path = TempDir("flash") + "/locked-away.bin";
  WriteFile(path, std::string(8192, '\x11'));
  std::filesystem::permissions(path, std::filesystem::perms::none);
  if (std::ifstream(path).good()) {
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    GTEST_SKIP() << "this user reads every file";
  }
  std::string err = sim::Install("time=virtual,flash=" + path);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  EXPECT_NE(err.find("cannot be read"), std::string::npos) << err;
  EXPECT_EQ(ReadRaw(path), std::vector<uint8_t>(8192, 0x11));
}

// Lock bits and EEPROM are non-volatile: a chip locked by one run is locked
// when the next run attaches. A flash file from before they were kept
// attaches unlocked with its EEPROM erased.
TEST_F(SimDeviceTest, LockBitsAndEepromOutliveTheRun) {
  std::string path = TempDir("flash") + "/device.bin";
  InstallSim("flash=" + path);
  ASSERT_EQ(OpenPort("COM1"), 0);
  ASSERT_EQ(EnterProgrammingMode(), 0);
  uint8_t in = 0;
  for (uint8_t b : {0xC0, 0x01, 0x05, 0x3C}) TransferByte(b, &in);  // EEPROM 0x105 = 3C
  plat::Sleep(10);
  for (uint8_t b : {0xAC, 0xF9, 0x00, 0x00}) TransferByte(b, &in);  // LB1 and LB2
  ClosePort();
  sim::Uninstall();
  EXPECT_EQ(ReadRaw(path).size(), 8192u);
  EXPECT_EQ(ReadRaw(path + ".lock"), std::vector<uint8_t>{0xF9});
  EXPECT_EQ(ReadRaw(path + ".eeprom")[0x105], 0x3C);

  InstallSim("flash=" + path);
  EXPECT_TRUE(sim::TheDevice()->Locked());
  EXPECT_TRUE(sim::TheDevice()->ReadsLocked());
  EXPECT_EQ(sim::TheDevice()->Eeprom()[0x105], 0x3C);
  ASSERT_EQ(OpenPort("COM1"), 0);
  ASSERT_EQ(EnterProgrammingMode(), 0);
  uint8_t b = 0;
  ASSERT_EQ(ReadFlashByte(0x0000, &b), 0);
  EXPECT_EQ(b, 0x00);  // locked reads give lockread
  ClosePort();
  sim::Uninstall();

  std::filesystem::remove(path + ".lock");
  std::filesystem::remove(path + ".eeprom");
  InstallSim("flash=" + path);
  EXPECT_FALSE(sim::TheDevice()->Locked());
  EXPECT_EQ(sim::TheDevice()->Eeprom(), std::vector<uint8_t>(512, 0xFF));
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
// DTR drops, then RTS. Falling lines latch nothing, whatever DTR carried (a
// strobe's level, or a transfer's last data bit after a failed write).
TEST_F(SimDeviceTest, ClosingThePortDropsTheLinesAndKeepsTheLatchedLevel) {
  InstallSim("");
  sim::Device* d = sim::TheDevice();
  for (int row = 0; row < 4; ++row) {
    uint8_t level = row & 1;
    ASSERT_EQ(OpenPort("COM1"), 0);
    g_hPort->SetBreak(true);
    StrobeControl(level);
    g_hPort->SetDtr(row >> 1);
    EXPECT_EQ(d->ControlLevel(), level);
    ClosePort();
    EXPECT_FALSE(d->Break());
    EXPECT_FALSE(d->Dtr());
    EXPECT_FALSE(d->Rts());
    EXPECT_EQ(d->ControlLevel(), level) << "the close latched a level";
  }
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

TEST_F(SimDeviceTest, VanishZeroIsADeviceGoneFromTheStart) {
  InstallSim("vanish=0,serial=GONE");
  EXPECT_TRUE(sim::TheDevice()->Vanished());
  ASSERT_EQ(OpenPort("COM1"), 0);  // the port is there, nothing on it answers
  EXPECT_EQ(EnterProgrammingMode(), kNoAnswer);
  EXPECT_EQ(sim::TheDevice()->ClockPulses(), 0u);
  EXPECT_EQ(sim::TheDevice()->ControlLevel(), 1);  // the reset never got through
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

namespace {

// The chip reads the pins just before it puts out each state, so each sample
// shows the state before; a call takes its round trip plus the states' time.
TEST_F(SimDeviceTest, TheChipSamplesThePinsBeforeEachStateGoesOut) {
  InstallSim("ftdi=500");
  std::unique_ptr<plat::SerialPort> port;
  ASSERT_EQ(plat::OpenPortByName("COM1", &port), 0);
  plat::ClockedLines* chip = port->Clocked();
  ASSERT_NE(chip, nullptr);
  ASSERT_TRUE(chip->Enter());
  const uint8_t states[4] = {plat::kPinTxd, 0, 0, plat::kPinRts};
  uint8_t samples[4] = {0, 0, 0, 0};
  int64_t start = plat::NowUs();
  ASSERT_TRUE(chip->Clock(states, 4, samples));
  EXPECT_EQ(plat::NowUs() - start, 502);  // 4 states at 3 MHz: 1.3 us, rounded up
  // Opened without configuring: nothing asserted, no break; CTS undriven.
  EXPECT_EQ(samples[0], 0xFF);
  EXPECT_EQ(samples[1] & plat::kDrivenPins, plat::kPinTxd);
  EXPECT_EQ(samples[2] & plat::kDrivenPins, 0);
  EXPECT_EQ(samples[3] & plat::kDrivenPins, 0);
  EXPECT_TRUE(sim::TheDevice()->Dtr());
  EXPECT_FALSE(sim::TheDevice()->Rts());
  EXPECT_TRUE(sim::TheDevice()->Break());
  plat::AllowClockedLines(false);
  EXPECT_EQ(port->Clocked(), nullptr);
  plat::AllowClockedLines(true);
}

}  // namespace
