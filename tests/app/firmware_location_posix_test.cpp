// Locating the firmware file where the arguments come split and there is no
// start-up title: the arguments are joined again, and the program's own
// folder stands in for the title (Windows: tests/win32).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <vector>

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
  std::string beside = FirmwarePlaces().back();
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
  std::string beside = FirmwarePlaces().back();
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

// An installed program lies among the system's programs: the operator's data
// folder, then the system's (relative entries ignored), then the program's
// own. The first file there decides, usable or not; with none, every place is
// told. (ctest runs each test in a process of its own.)
TEST_F(FirmwareLocationTest, DataFoldersAreTriedBeforeTheProgramsOwn) {
  std::string dir = TempDir("data"), path;
  for (std::string sub : {"/home", "/local", "/share"}) mkdir((dir + sub).c_str(), 0700);
  setenv("XDG_DATA_HOME", (dir + "/home").c_str(), 1);
  setenv("XDG_DATA_DIRS", (dir + "/local/:relative:" + dir + "/share").c_str(), 1);
  std::vector<std::string> places = FirmwarePlaces();
  ASSERT_EQ(places.size(), 4u);
  EXPECT_EQ(places[1], dir + "/local/orvalo-programmer/firmware.hex");
  std::remove(places[3].c_str());
  plat::SetCommandLineArguments(0, nullptr);
  FirmwareCheck check;
  EXPECT_FALSE(LocateFirmwareFile(&dialog, &path, &check));
  EXPECT_EQ(path, dir + "/home/orvalo-programmer/firmware.hex");
  EXPECT_NE(check.what.find(places[1] + ", " + places[2] + " or " + places[3]), std::string::npos) << check.what;
  // Found in the system's last folder; then one in the first is unusable.
  for (int place : {2, 1, 0}) {
    mkdir(places[place].substr(0, places[place].rfind('/')).c_str(), 0700);
    WriteFile(places[place], place == 1 ? ":0100000011EE\n" : ":00000001FF\n");
    EXPECT_EQ(LocateFirmwareFile(&dialog, &path, &check), place != 1) << place;
    EXPECT_EQ(path, places[place]);
  }
}

}  // namespace
