// Locating the firmware file where the arguments come split and there is no
// start-up title: the arguments are joined again, and the program's own
// folder stands in for the title (Windows: tests/win32).
#include <gtest/gtest.h>

#include <cstdio>

#include "state/shared_state.h"
#include "app/firmware_location.h"
#include "image/firmware_file.h"
#include "platform/file.h"
#include "support/test_support.h"

namespace {

class FirmwareLocationTest : public ::testing::Test {
 protected:
  void TearDown() override { ResetGlobals(); }
  RecordingDialog dialog;
};

TEST_F(FirmwareLocationTest, TheCommandLineTextIsTriedWhole) {
  std::string dir = TempDir("fw");
  WriteFile(dir + "/my image.hex", ":0100000011EE\n:00000001FF\n");
  std::string a = dir + "/my", b = "image.hex";
  char* argv[] = {const_cast<char*>("prog"), &a[0], &b[0]};
  plat::SetCommandLineArguments(3, argv);  // split by the shell, joined again
  LocateFirmwareFile(&dialog);
  ASSERT_TRUE(g_hFirmware);
  EXPECT_EQ(g_recordCount, 2);
  EXPECT_TRUE(dialog.Texts().empty());
  EXPECT_TRUE(dialog.StartEnabled());
}

// One test for both, since both use the one file beside the test program.
TEST_F(FirmwareLocationTest, FirmwareBesideTheProgramIsTriedWhenNothingIsNamed) {
  std::string beside = DefaultFirmwareName();
  std::string program = plat::ProgramPath();
  EXPECT_EQ(beside, program.substr(0, program.rfind('/') + 1) + "firmware.hex");
  std::string quoted = "\"" + TempDir("fw") + "/x.hex\"";
  char* argv[] = {const_cast<char*>("prog"), &quoted[0]};
  plat::SetCommandLineArguments(2, argv);  // quotes are part of the name: no such file

  std::remove(beside.c_str());
  LocateFirmwareFile(&dialog);
  EXPECT_FALSE(g_hFirmware);
  EXPECT_FALSE(dialog.StartEnabled());
  ASSERT_EQ(dialog.Status().size(), 1u);
  EXPECT_EQ(dialog.LastText(), "Firmware file access Failed.");
  EXPECT_TRUE(dialog.LastRed());

  WriteFile(beside, ":00000001FF\n");
  plat::SetCommandLineArguments(1, argv);
  RecordingDialog second;
  LocateFirmwareFile(&second);
  EXPECT_TRUE(g_hFirmware);
  EXPECT_EQ(g_recordCount, 1);
  EXPECT_TRUE(second.Texts().empty());
  std::remove(beside.c_str());
}

// The operator meant the file named: one that is missing or not a usable
// image is not replaced by firmware.hex beside the program.
TEST_F(FirmwareLocationTest, ANamedFileThatIsNotUsableIsNotReplaced) {
  std::string beside = DefaultFirmwareName();
  WriteFile(beside, ":00000001FF\n");
  std::string dir = TempDir("fw");
  std::string bad = dir + "/bad.hex";
  WriteFile(bad, ":0100000011EE\n:0100000022DD\n:00000001FF\n");  // 0x0000 twice
  for (std::string named : {bad, dir, dir + "/missing.hex"}) {
    char* argv[] = {const_cast<char*>("prog"), &named[0]};
    plat::SetCommandLineArguments(2, argv);
    RecordingDialog d;
    LocateFirmwareFile(&d);
    EXPECT_FALSE(g_hFirmware) << named;
    EXPECT_FALSE(d.StartEnabled());
    EXPECT_EQ(d.LastText(), "Firmware file access Failed.");
    EXPECT_TRUE(d.LastRed());
  }
  std::remove(beside.c_str());
}

}  // namespace
