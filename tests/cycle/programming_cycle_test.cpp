// Whole cycles on the simulated device and the virtual clock, seen as the
// operator and the device would see them.
#include <gtest/gtest.h>

#include <cstring>

#include "app/settings_store.h"
#include "cycle/device_serial.h"
#include "cycle/programming_cycle.h"
#include "state/shared_state.h"
#include "image/firmware_file.h"
#include "isp/fast_mode.h"
#include "isp/port.h"
#include "platform/clocked_lines.h"
#include "platform/thread.h"
#include "platform/thread_test_hooks.h"
#include "sim/sim.h"
#include "support/test_support.h"

namespace {

std::vector<uint8_t> Image() {
  std::vector<uint8_t> image(0x1B00);
  for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 7 + (i >> 8));
  return image;
}

class CycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseIsolatedSettings("cycle");
    UseFirmwareText(MakeHex(Image()));
  }
  void TearDown() override {
    ResetGlobals();
    sim::Uninstall();
  }
  void Run(bool verify = true) {
    dialog.reset(new RecordingDialog());
    dialog->SetVerify(verify);
    OnStart(dialog.get());
    JoinCycleThread();
    ExpectCleanEnd();
  }
  void ExpectCleanEnd() {
    EXPECT_EQ(g_hPort, nullptr);
    EXPECT_TRUE(dialog->StartEnabled());
    EXPECT_TRUE(dialog->VerifyEnabled());
    EXPECT_EQ(dialog->WaitCursor(), 0);
    EXPECT_EQ(g_cycleBusy.load(), 0);
    EXPECT_EQ(plat::RunningThreadCount(), 0);
  }
  // The flash a good cycle leaves: the image, erased elsewhere, the record.
  static std::vector<uint8_t> Expected(const std::string& serial) {
    std::vector<uint8_t> f(8192, 0xFF);
    std::vector<uint8_t> image = Image();
    std::copy(image.begin(), image.end(), f.begin());
    f[0x1FE8] = 22;
    uint8_t sum = 22;
    for (int i = 0; i < 22; ++i) {
      f[0x1FE9 + i] = uint8_t(serial[i]);
      sum = uint8_t(sum + uint8_t(serial[i]));
    }
    f[0x1FFF] = sum;
    return f;
  }
  bool HasText(const std::string& prefix) {
    for (const std::string& t : dialog->Texts())
      if (t.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
  }
  std::unique_ptr<RecordingDialog> dialog;
};

TEST_F(CycleTest, AGoodCycleProgramsTheImageAndKeepsTheSerialNumber) {
  std::string flash = TempDir("dev") + "/device.bin";
  InstallSim(std::string("serial=") + kSerial + ",flash=" + flash);
  Run(true);
  std::vector<StatusLine> s = dialog->Status();
  ASSERT_GE(s.size(), 6u);
  EXPECT_EQ(s[0].text, "Auto Detecting Device ...");
  EXPECT_EQ(s[1].text, "Device found at COM1. Getting Serial Number ...");
  EXPECT_EQ(s[2].text, "Serial Number OK.");
  EXPECT_EQ(s[3].text, "Chip Erased.");
  EXPECT_EQ(s[4].text, "Programming, 0% Completed.");
  EXPECT_EQ(s.back().text, "Programming Completed Successfully.");
  for (const StatusLine& l : s) EXPECT_FALSE(l.red) << l.text;
  EXPECT_TRUE(HasText("Verifying, 100% Completed."));
  EXPECT_EQ(dialog->SerialText(), kSerial);
  sim::Device* d = sim::TheDevice();
  EXPECT_EQ(d->Flash(), Expected(kSerial));
  EXPECT_TRUE(d->Locked());
  EXPECT_EQ(d->ControlLevel(), 1);  // running: the close drops DTR, then RTS, and latches nothing
  EXPECT_EQ(d->ProtocolViolations(), 0u);
  EXPECT_EQ(d->PortOpens("COM2"), 0);  // found on COM1: COM2 is never opened

  sim::Uninstall();  // the same device, read back from its flash file, next run
  InstallSim("flash=" + flash);
  Run(false);
  EXPECT_EQ(dialog->LastText(), "Programming Completed Successfully.");
  EXPECT_EQ(LastCycleOutcome(), CycleOutcome::kSucceeded);
  EXPECT_FALSE(HasText("Verifying"));
  EXPECT_EQ(sim::TheDevice()->Flash(), Expected(kSerial));
}

// An adapter's chip clocks the very line levels the operations one by one
// give, in the same order, from the probe through the serial-number exchange
// (its break pulses between the chip's two turns) to the release; turned off
// by the setting, the operations go one by one again.
TEST_F(CycleTest, TheChipClocksTheSameLineLevelsAsOperationsOneByOne) {
  std::vector<uint8_t> image = {0x12, 0xFF, 0x7F, 0x00, 0xA5, 0x5A, 0x01, 0x80};
  UseFirmwareText(MakeHex(image));
  struct Seen {
    std::vector<std::string> texts;
    std::vector<uint8_t> levels, flash, frames, uart;
    LineWay way;
  };
  auto cycle = [&](const std::string& item) {
    InstallSim(std::string("serial=") + kSerial + ",slip=5,request" + item);
    sim::TheDevice()->KeepHistory(true);
    Run(true);
    Seen seen{dialog->Texts(), sim::TheDevice()->LineLevels(), sim::TheDevice()->Flash(), {},
              sim::TheDevice()->UartReceived(), LastCycleReport().ports[0].lines};
    for (const sim::Frame& f : sim::TheDevice()->Frames()) seen.frames.insert(seen.frames.end(), f.bytes, f.bytes + 4);
    EXPECT_EQ(sim::TheDevice()->ProtocolViolations(), 0u) << item;
    sim::Uninstall();
    return seen;
  };
  Seen plain = cycle(""), chip = cycle(",ftdi");
  EXPECT_EQ(plain.way, LineWay::kLineOperations);
  EXPECT_EQ(chip.way, LineWay::kClocked);
  EXPECT_EQ(chip.texts.back(), "Programming Completed Successfully.");
  EXPECT_EQ(chip.texts, plain.texts);
  EXPECT_EQ(chip.levels, plain.levels);
  EXPECT_EQ(chip.frames, plain.frames);
  EXPECT_EQ(chip.uart, plain.uart);
  EXPECT_EQ(chip.flash, plain.flash);
  EXPECT_GT(plain.levels.size(), 1000u);
  // Fast mode takes the following bytes along with a read, never while the
  // part is busy writing.
  SetFastMode(true);
  Seen fast = cycle(",ftdi");
  SetFastMode(false);
  EXPECT_EQ(fast.texts.back(), "Programming Completed Successfully.");
  EXPECT_EQ(fast.flash, plain.flash);

  WriteProfileString("Device", kClockedLinesEntry, "0");
  Seen off = cycle(",ftdi");
  plat::AllowClockedLines(true);
  EXPECT_EQ(off.way, LineWay::kLineOperations);
  EXPECT_EQ(off.levels, plain.levels);
}

// Called directly, as a thread body, a cycle returns 0 however it ends; only
// a missing dialog is refused.
TEST_F(CycleTest, TheCycleItselfReturnsZeroWhateverItsEnd) {
  InstallSim("absent=COM1,absent=COM2");
  dialog.reset(new RecordingDialog());
  EXPECT_EQ(ProgrammingCycle(dialog.get()), 0);
  EXPECT_EQ(LastCycleOutcome(), CycleOutcome::kFailed);
  ExpectCleanEnd();
  EXPECT_EQ(ProgrammingCycle(nullptr), kCycleNoDialog);
}

TEST_F(CycleTest, NoPortsAtAll) {
  InstallSim("absent=COM1,absent=COM2");
  Run();
  EXPECT_EQ(dialog->Texts(),
            (std::vector<std::string>{"Auto Detecting Device ...", "Device not found. Check Power, Cable, Free COM."}));
  EXPECT_TRUE(dialog->LastRed());
  EXPECT_EQ(LastCycleOutcome(), CycleOutcome::kFailed);
}

TEST_F(CycleTest, TheDeviceIsFoundOnCom2WhenCom1IsAbsentOrEmpty) {
  InstallSim(std::string("absent=COM1,port=COM2,serial=") + kSerial);
  Run();
  ASSERT_GE(dialog->Texts().size(), 2u);
  EXPECT_EQ(dialog->Texts()[1], "Device found at COM2. Getting Serial Number ...");
  EXPECT_EQ(dialog->LastText(), "Programming Completed Successfully.");
  sim::Uninstall();
  InstallSim(std::string("port=COM2,serial=") + kSerial);  // COM1 opens but nothing answers
  Run();
  ASSERT_GE(dialog->Texts().size(), 2u);
  EXPECT_EQ(dialog->Texts()[1], "Device found at COM2. Getting Serial Number ...");
  EXPECT_EQ(sim::TheDevice()->PortOpens("COM1"), 1);
  EXPECT_EQ(sim::MaxPortsOpenAtOnce(), 1);  // COM1 was closed before COM2 was tried
}

TEST_F(CycleTest, AProgrammingFailureShowsItsAddressAndStopsThere) {
  InstallSim(std::string("failwrite=0123,serial=") + kSerial);
  Run(true);
  EXPECT_EQ(dialog->LastText(), "Programming Failed at 0x0123 .");
  EXPECT_TRUE(dialog->LastRed());
  EXPECT_FALSE(HasText("Verifying"));
  sim::Device* d = sim::TheDevice();
  EXPECT_EQ(d->Flash()[0x1FE8], 0xFF);  // no record
  EXPECT_FALSE(d->Locked());
  EXPECT_EQ(d->ControlLevel(), 0);  // left as the failed step left it
}

TEST_F(CycleTest, AVerifyFailureShowsItsAddressInUpperCase) {
  InstallSim(std::string("badread=1A2B,serial=") + kSerial);
  Run(true);
  EXPECT_EQ(dialog->LastText(), "Verify Failed at 0x1A2B.");
  EXPECT_TRUE(dialog->LastRed());
  EXPECT_FALSE(sim::TheDevice()->Locked());
}

// Checked again at Start, through the held file: one that has become
// unusable (here cut short before its end record) ends the cycle before any
// port is opened, so the device keeps what it has.
TEST_F(CycleTest, AFileNoLongerUsableAtStartEndsTheCycleBeforeAnyPort) {
  std::string flash = TempDir("dev") + "/device.bin";
  InstallSim(std::string("serial=") + kSerial + ",flash=" + flash);
  std::string text = MakeHex(Image());
  UseFirmwareText(text.substr(0, text.size() - 13));
  Run(true);
  EXPECT_EQ(dialog->Texts(), (std::vector<std::string>{"Firmware file access Failed."}));
  EXPECT_TRUE(dialog->LastRed());
  EXPECT_TRUE(sim::TheDevice()->Frames().empty());
  EXPECT_EQ(LastCycleReport().end, CycleEnd::kFirmwareUnusable);
  EXPECT_GT(LastCycleReport().firmware.line, 0);
  // Usable again: the next Start runs.
  UseFirmwareText(text);
  Run(true);
  EXPECT_EQ(dialog->LastText(), "Programming Completed Successfully.");
}

TEST_F(CycleTest, TheSecondProgrammingEntryFailing) {
  // Gone after the probe's enable, the three signature reads and the
  // release's lock frame.
  InstallSim(std::string("vanish=5,serial=") + kSerial);
  Run();
  std::vector<std::string> t = dialog->Texts();
  ASSERT_EQ(t.size(), 5u);
  EXPECT_EQ(t[2], "Serial Number not found.");
  EXPECT_EQ(t[3], "No Serial Number found. Default to Factory.");
  EXPECT_EQ(t.back(), "Programming Failed.");
  EXPECT_TRUE(dialog->LastRed());
}

TEST_F(CycleTest, ASerialNumberNotFoundIsFollowedByChipErasedInTheNormalColour) {
  WriteProfileString("Device", "Serial Number", "STORED0000000000000009");
  InstallSim("serial=ABC,silent");
  Run();
  std::vector<StatusLine> s = dialog->Status();
  ASSERT_GE(s.size(), 4u);
  EXPECT_EQ(s[2].text, "Serial Number not found.");
  EXPECT_TRUE(s[2].red);
  EXPECT_EQ(s[3].text, "Chip Erased.");
  EXPECT_FALSE(s[3].red);
  EXPECT_EQ(dialog->SerialText(), "STORED0000000000000009");
  EXPECT_EQ(dialog->LastText(), "Programming Completed Successfully.");
  EXPECT_FALSE(dialog->LastRed());
}

TEST_F(CycleTest, TheVerifyBoxIsReadOnce) {
  InstallSim(std::string("serial=") + kSerial);
  dialog.reset(new RecordingDialog());
  RecordingDialog* d = dialog.get();
  d->SetVerify(true);
  d->onStatus = [d](const std::string& text) {
    if (text == "Chip Erased.") d->SetVerify(false);
  };
  OnStart(d);
  JoinCycleThread();
  ExpectCleanEnd();
  EXPECT_EQ(d->VerifyReads(), 1);
  EXPECT_TRUE(HasText("Verifying, 100% Completed."));
}

TEST_F(CycleTest, ASecondStartWhileACycleRunsIsIgnored) {
  InstallSim(std::string("serial=") + kSerial);
  dialog.reset(new RecordingDialog());
  OnStart(dialog.get());
  OnStart(dialog.get());
  JoinCycleThread();
  int starts = 0;
  for (const std::string& t : dialog->Texts()) starts += t == "Auto Detecting Device ...";
  EXPECT_EQ(starts, 1);
  ExpectCleanEnd();
}

TEST_F(CycleTest, ACycleThreadThatCannotBeCreated) {
  InstallSim(std::string("serial=") + kSerial);
  dialog.reset(new RecordingDialog());
  plat::FailNextThreadStarts(1);
  OnStart(dialog.get());
  EXPECT_EQ(dialog->Texts(), (std::vector<std::string>{"Egnition failed."}));
  EXPECT_TRUE(dialog->LastRed());
  EXPECT_TRUE(dialog->StartEnabled());
  EXPECT_EQ(g_cycleBusy.load(), 0);
  Run();  // and the next press works
  EXPECT_EQ(dialog->LastText(), "Programming Completed Successfully.");
}

TEST_F(CycleTest, APortThatRefusedItsSettingsIsOpenedAgainByTheNextCycle) {
  InstallSim(std::string("refuse=COM1,serial=") + kSerial);
  Run();
  EXPECT_EQ(dialog->LastText(), "Device not found. Check Power, Cable, Free COM.");
  Run();
  EXPECT_EQ(dialog->LastText(), "Programming Completed Successfully.");
}

TEST_F(CycleTest, AFailedCharacterOfTheRecordEndsTheCycleUnlocked) {
  InstallSim(std::string("failwrite=1FEE,serial=") + kSerial);
  Run();
  EXPECT_EQ(dialog->LastText(), "Writing Serial Number failed.");
  EXPECT_TRUE(dialog->LastRed());
  EXPECT_FALSE(HasText("Programming Completed Successfully."));
  EXPECT_EQ(LastCycleOutcome(), CycleOutcome::kFailed);
  EXPECT_FALSE(sim::TheDevice()->Locked());
}

TEST_F(CycleTest, ADeviceThatDropsOutBeforeTheChecksumIsCaughtByTheReadBack) {
  InstallSim(std::string("serial=") + kSerial);
  Run(false);
  std::vector<sim::Frame> frames = sim::TheDevice()->Frames();
  size_t lengthWrite = 0;
  for (size_t i = 0; i < frames.size(); ++i)
    if (frames[i].bytes[0] == 0x40 && frames[i].bytes[1] == 0x0F && frames[i].bytes[2] == 0xF4) lengthWrite = i;
  ASSERT_GT(lengthWrite, 0u);
  sim::Uninstall();
  // Gone after the length and the 22 characters: the checksum write's expected
  // echo is 0xFF, which a silent line gives.
  InstallSim(std::string("serial=") + kSerial + ",vanish=" + std::to_string(lengthWrite + 23));
  Run(false);
  EXPECT_EQ(dialog->LastText(), "Writing Serial Number failed.");
  EXPECT_TRUE(dialog->LastRed());
}

}  // namespace
