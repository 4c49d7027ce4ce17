// The program's base name and the settings key made from it, for both kinds
// of path, and the start-up title rule that finds the firmware through it.
#include <gtest/gtest.h>

#include "app/firmware_location.h"
#include "app/program_name.h"

namespace {

TEST(ProgramNameTest, ApplicationKeyIsTheBaseNameWithIni) {
  EXPECT_EQ(ApplicationKey("/opt/orvalo/orvalo-programmer"), "orvalo-programmer.INI");
  EXPECT_EQ(ApplicationKey("/opt/x/tool.v2.bin"), "tool.v2.INI");
  EXPECT_EQ(ApplicationKey("C:\\Tools\\Flash\\Prog.exe"), "Prog.INI");
  EXPECT_EQ(ApplicationKey("Z:prog.exe"), "prog.INI");
}

TEST(ProgramNameTest, AFolderWithADotDoesNotCutTheName) {
  EXPECT_EQ(ProgramBaseName("/opt/tools.d/programmer"), "programmer");
  EXPECT_EQ(ProgramBaseName("C:\\v1.2\\prog"), "prog");
}

TEST(FirmwareNameTest, TheStartupTitleRule) {
  EXPECT_EQ(FirmwareNameFromTitle("C:\\Tools\\Flash\\Prog.exe", "C:\\Tools\\Flash\\Prog.exe"),
            "c:\\tools\\flash\\firmware.hex");
  EXPECT_EQ(FirmwareNameFromTitle("", "C:\\Tools\\Prog.exe"), "firmware.hex");
  EXPECT_EQ(FirmwareNameFromTitle("Command Prompt", "C:\\Tools\\Prog.exe"), "firmware.hex");
  EXPECT_EQ(FirmwareNameFromTitle("D:\\prog.exe\\x\\PROG.EXE", "C:\\Tools\\Prog.exe"), "d:\\firmware.hex");
}

}  // namespace
