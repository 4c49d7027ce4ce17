// The headless runner's real comm path under Wine, with ORVALO_SIM unset,
// against the emulated serial device that COM1 of the test prefix leads to.
// Real time, so a few dozen bytes. Skipped where the stage has no such device.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"
#include "support/win32_test_support.h"

namespace {

class EmulatedRunnerTest : public ::testing::Test {
 protected:
  ChildRun RunOn(const std::string& name, const std::string& device) {
    std::string firmware = TempDir("emulated") + "\\image.hex";
    std::vector<uint8_t> image(40);
    for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 37 + 5);
    WriteFile(firmware, MakeHex(image));
    if (!UseEmulatedDevice(name, device)) return ChildRun();
    return RunChild(WindowsPath(ORVALO_CLI_PATH), "orvalo-programmer-cli --verify " + firmware, nullptr, 60000);
  }
};

TEST_F(EmulatedRunnerTest, AVerifiedCycleWithTheSerialNumberExchange) {
  ChildRun run = RunOn("runner-verified", "serial=RV0058LK00000000000077,request");
  if (!run.started) GTEST_SKIP() << "no emulated device in this stage";
  ASSERT_TRUE(run.finished) << run.output;
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_NE(run.output.find("Device found at COM1. Getting Serial Number ..."), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Serial Number OK."), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Serial Number: RV0058LK00000000000077"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Verifying, 100% Completed."), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Programming Completed Successfully."), std::string::npos) << run.output;
}

// A device that never reports: the request ends after its 3000 ms, the
// listener blocked in WaitCommEvent is stopped, and the cycle goes on.
TEST_F(EmulatedRunnerTest, ASilentDeviceEndsTheRequestAfterItsLimit) {
  DWORD t0 = GetTickCount();
  ChildRun run = RunOn("runner-silent", "serial=RV0058LK00000000000077,silent");
  if (!run.started) GTEST_SKIP() << "no emulated device in this stage";
  DWORD took = GetTickCount() - t0;
  ASSERT_TRUE(run.finished) << "the runner did not end: " << run.output;
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_NE(run.output.find("! Serial Number not found."), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Programming Completed Successfully."), std::string::npos) << run.output;
  EXPECT_GE(took, 3000u);
}

}  // namespace
