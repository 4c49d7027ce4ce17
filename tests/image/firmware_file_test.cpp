#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "cycle/state.h"
#include "image/firmware_file.h"
#include "platform/file.h"
#include "support/test_support.h"

namespace {

class FirmwareFileTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ResetGlobals();
    char* none[] = {const_cast<char*>("prog")};
    plat::SetCommandLineArguments(1, none);
  }
  RecordingDialog dialog;
};

TEST_F(FirmwareFileTest, EveryColonIsCountedAndTheFileIsRewound) {
  std::string dir = TempDir("fw");
  std::string text;
  for (int i = 0; i < 120; ++i) text += ":00000000\r\n";
  WriteFile(dir + "/a.hex", text);
  auto f = OpenFirmwareFile((dir + "/a.hex").c_str());
  ASSERT_TRUE(f);
  EXPECT_EQ(g_recordCount, 120);
  char c = 0;
  EXPECT_EQ(f->Read(&c, 1), 1);
  EXPECT_EQ(c, ':');
  f.reset();

  WriteFile(dir + "/b.hex", "x:y:");
  ASSERT_TRUE(OpenFirmwareFile((dir + "/b.hex").c_str()));
  EXPECT_EQ(g_recordCount, 2);
  WriteFile(dir + "/empty.hex", "");
  ASSERT_TRUE(OpenFirmwareFile((dir + "/empty.hex").c_str()));
  EXPECT_EQ(g_recordCount, 0);
  EXPECT_FALSE(OpenFirmwareFile((dir + "/missing.hex").c_str()));
  EXPECT_EQ(g_recordCount, 0);  // a failed open leaves the count alone
  EXPECT_FALSE(OpenFirmwareFile(""));
}

TEST_F(FirmwareFileTest, AnOpenFileIsHeldAgainstASecondHolder) {
  std::string path = TempDir("fw") + "/held.hex";
  WriteFile(path, ":00000001FF");
  auto first = plat::OpenFileExclusive(path);
  ASSERT_TRUE(first);
  EXPECT_FALSE(plat::OpenFileExclusive(path));
  first.reset();
  EXPECT_TRUE(plat::OpenFileExclusive(path));
}

TEST_F(FirmwareFileTest, TheCommandLineTextIsTriedWhole) {
  std::string dir = TempDir("fw");
  WriteFile(dir + "/my image.hex", ":00000001FF\n:00000001FF\n");
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
TEST_F(FirmwareFileTest, FirmwareBesideTheProgramIsTheSecondAttemptAndTheLast) {
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
  RecordingDialog second;
  LocateFirmwareFile(&second);
  EXPECT_TRUE(g_hFirmware);
  EXPECT_EQ(g_recordCount, 1);
  EXPECT_TRUE(second.Texts().empty());
  std::remove(beside.c_str());
}

TEST(FirmwareNameTest, TheStartupTitleRule) {
  EXPECT_EQ(FirmwareNameFromTitle("C:\\Tools\\Flash\\Prog.exe", "C:\\Tools\\Flash\\Prog.exe"),
            "c:\\tools\\flash\\firmware.hex");
  EXPECT_EQ(FirmwareNameFromTitle("", "C:\\Tools\\Prog.exe"), "firmware.hex");
  EXPECT_EQ(FirmwareNameFromTitle("Command Prompt", "C:\\Tools\\Prog.exe"), "firmware.hex");
  EXPECT_EQ(FirmwareNameFromTitle("D:\\prog.exe\\x\\PROG.EXE", "C:\\Tools\\Prog.exe"), "d:\\firmware.hex");
}

}  // namespace
