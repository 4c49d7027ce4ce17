// Whole cycles where the firmware file, the settings store or a stop request
// would otherwise let a wrong image or a wrong serial number reach the device.
#include <gtest/gtest.h>

#include <fstream>

#include "app/settings_store.h"
#include "cycle/programming_cycle.h"
#include "image/firmware_file.h"
#include "platform/thread.h"
#include "platform/thread_test_hooks.h"
#include "sim/sim.h"
#include "state/shared_state.h"
#include "state/stop_request.h"
#include "support/test_support.h"

namespace {

std::vector<uint8_t> Image(uint8_t seed) {
  std::vector<uint8_t> image(0x0800);
  for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 7 + seed);
  return image;
}

class CycleSafeguardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseIsolatedSettings("safeguards");
    UseFirmwareText(MakeHex(Image(1)));
  }
  void TearDown() override {
    ResetGlobals();
    sim::Uninstall();
  }
  void Run(std::function<void(const std::string&)> onStatus = nullptr) {
    dialog.reset(new RecordingDialog());
    dialog->SetVerify(true);
    dialog->onStatus = std::move(onStatus);
    OnStart(dialog.get());
    JoinCycleThread();
    EXPECT_EQ(g_hPort, nullptr);
    EXPECT_TRUE(dialog->StartEnabled());
    EXPECT_EQ(g_cycleBusy.load(), 0);
    EXPECT_EQ(plat::RunningThreadCount(), 0);
  }
  bool HasText(const std::string& text) {
    for (const std::string& t : dialog->Texts())
      if (t == text) return true;
    return false;
  }
  std::vector<uint8_t> Flash() { return sim::TheDevice()->Flash(); }
  std::unique_ptr<RecordingDialog> dialog;
};

// Linux cannot keep other writers out of the held file: an image replaced
// while the cycle runs must not end up half one image and half the other.
TEST_F(CycleSafeguardTest, TheCycleProgramsAndVerifiesTheCopyCheckedAtStart) {
  std::string path = TempDir("fw") + "/firmware.hex";
  WriteFile(path, MakeHex(Image(1)));
  g_hFirmware = OpenFirmwareFile(path.c_str());
  ASSERT_TRUE(g_hFirmware);
  InstallSim(std::string("serial=") + kSerial);
  Run([&](const std::string& text) {
    if (text == "Programming, 50% Completed.") WriteFile(path, MakeHex(Image(2)));
  });
  EXPECT_EQ(dialog->LastText(), "Programming Completed Successfully.");
  std::vector<uint8_t> flash = Flash(), a = Image(1);
  EXPECT_TRUE(std::equal(a.begin(), a.end(), flash.begin()));
}

TEST_F(CycleSafeguardTest, AStoreThatDoesNotKeepTheSerialNumberEndsTheCycleBeforeTheErase) {
  // Blocked before its file exists; then, once it holds an earlier device's
  // number, for a new device and for that earlier one again, whose number the
  // file already holds (the block lasts to the end of the test).
  const char earlier[] = "RV0058LK00000000000007";
  for (int row = 0; row < 3; ++row) {
    SCOPED_TRACE(row);
    if (row == 0 && !BlockSettingsStore(TempDir("blocked"))) continue;
    if (row == 1) {
      ASSERT_TRUE(WriteProfileString("Device", "Serial Number", earlier));
      if (!BlockSettingsStoreWrites(TempDir("probe"))) GTEST_SKIP() << "no such store on this platform";
    }
    InstallSim(std::string("serial=") + (row == 2 ? earlier : kSerial));
    std::vector<uint8_t> was = Flash();
    Run();
    EXPECT_EQ(dialog->LastText(), "Saving Serial Number failed.");
    EXPECT_EQ(LastCycleReport().end, CycleEnd::kSerialNotSaved);
    EXPECT_TRUE(dialog->LastRed());
    EXPECT_FALSE(HasText("Chip Erased."));
    EXPECT_FALSE(HasText("Serial Number OK."));
    EXPECT_EQ(Flash(), was);
    EXPECT_EQ(sim::TheDevice()->ControlLevel(), 1) << "the device runs its firmware";
    EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), row == 0 ? "" : earlier);
    if (row == 0) UseIsolatedSettings("safeguards");
  }
}

TEST_F(CycleSafeguardTest, AStationThatCannotAskEndsTheCycleWithoutBorrowingANumber) {
  WriteProfileString("Device", "Serial Number", "RV0058LK00000000000777");
  InstallSim(std::string("serial=") + kSerial);
  std::vector<uint8_t> was = Flash();
  plat::FailNextEventCreates(1);
  Run();
  EXPECT_EQ(dialog->Texts(), (std::vector<std::string>{"Auto Detecting Device ...",
                                                       "Device found at COM1. Getting Serial Number ...",
                                                       "Serial Number not found."}));
  EXPECT_TRUE(dialog->LastRed());
  EXPECT_EQ(dialog->SerialText(), "");
  EXPECT_EQ(Flash(), was);
  EXPECT_EQ(LastCycleReport().end, CycleEnd::kSerialNotAsked);
}

// The record holds 22 characters; a longer stored value is shown as written.
TEST_F(CycleSafeguardTest, TheSerialNumberShownIsTheOneWritten) {
  std::string stored = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!";  // 37 characters
  WriteProfileString("Device", "Serial Number", stored.c_str());
  InstallSim(std::string("silent,serial=") + kSerial);
  Run();
  EXPECT_EQ(dialog->LastText(), "Programming Completed Successfully.");
  EXPECT_EQ(dialog->SerialText(), stored.substr(0, 22));
  std::vector<uint8_t> f = Flash();
  EXPECT_EQ(std::string(f.begin() + 0x1FE9, f.begin() + 0x1FE9 + 22), stored.substr(0, 22));
  EXPECT_EQ(LastCycleReport().serialSource, SerialSource::kStation);
}

// A stop ends the cycle between instructions as a failure ends it: no frame
// cut, no final text of its own, the port closed.
TEST_F(CycleSafeguardTest, AStopEndsTheCycleAtAnInstructionBoundary) {
  // Asked during the serial-number stage, the stop comes before the erase.
  const std::pair<std::string, std::string> cases[] = {
      {"Device found at COM1. Getting Serial Number ...", "Serial Number OK."},
      {"Programming, 10% Completed.", "Programming, 10% Completed."},
      {"Verifying, 50% Completed.", "Verifying, 50% Completed."}};
  for (const auto& c : cases) {
    const std::string stopAt = c.first, last = c.second;
    SCOPED_TRACE(stopAt);
    ClearStopRequest();
    sim::Uninstall();
    InstallSim(std::string("serial=") + kSerial);
    Run([&](const std::string& text) {
      if (text == stopAt) RequestStop();
    });
    EXPECT_EQ(dialog->LastText(), last);
    EXPECT_FALSE(HasText("Programming Completed Successfully."));
    EXPECT_EQ(LastCycleReport().end, CycleEnd::kStopped);
    sim::Device* device = sim::TheDevice();
    // Whole frames only; the close that releases a break still held adds the
    // one edge it makes.
    EXPECT_LE(device->ClockPulses() % 32, 1u);
    EXPECT_EQ(device->ProtocolViolations(), 0u);
    // Before the erase the device runs its firmware, locked as it came;
    // after it the chip is left unlocked, as after a failure.
    EXPECT_EQ(device->Locked(), last == "Serial Number OK.");
  }
  ClearStopRequest();
}

}  // namespace
