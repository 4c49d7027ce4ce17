// The settings store's own failure, where it is a file of QSettings: a file
// standing where the company folder must go.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "app/settings_store.h"
#include "support/test_support.h"

namespace {

class SettingsStorePosixTest : public ::testing::Test {
 protected:
  void SetUp() override { UseIsolatedSettings("store"); }
};

TEST_F(SettingsStorePosixTest, AStoreThatCannotBeWrittenSaysSoAndKeepsWhatItHeld) {
  // Root ignores permissions: a file where the company folder must go.
  WriteFile(std::string(getenv("XDG_CONFIG_HOME")) + "/Kestrune", "in the way");
  EXPECT_FALSE(WriteProfileString("Device", "Serial Number", "X"));
  EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), "");
  // Once the file holds a value: no file may grow, as on a full disk.
  UseIsolatedSettings("filled");
  ASSERT_TRUE(WriteProfileString("Device", "Serial Number", "ZTMQR51700000000000041"));
  ASSERT_TRUE(BlockSettingsStoreWrites(TempDir("probe")));
  EXPECT_FALSE(WriteProfileString("Device", "Serial Number", "ZTMQR51700000000000042"));
  EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), "ZTMQR51700000000000041");
}

// Each value replaces one of the same length within the same millisecond.
TEST_F(SettingsStorePosixTest, AValueJustWrittenIsTheOneRead) {
  for (char last = '0'; last <= '9'; ++last) {
    std::string value = std::string("ZTMQR5170000000000004") + last;
    ASSERT_TRUE(WriteProfileString("Device", "Serial Number", value.c_str()));
    EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), value);
  }
}

TEST_F(SettingsStorePosixTest, EachUseLooksInTheConfigFolderOfTheMoment) {
  EXPECT_TRUE(WriteProfileString("Device", "Serial Number", "ZTMQR51700000000000042"));
  UseIsolatedSettings("another");  // another station: it must not see the value
  EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), "");
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Checked from outside the store: the value lands in the company's folder,
// in the file named by the application key, under [Device] with the entry's
// name, where another run (or a person) finds it; and a value put there by
// hand is what the store reads.
TEST_F(SettingsStorePosixTest, TheValueIsKeptInTheCompanysFileUnderDevice) {
  std::string folder = std::string(getenv("XDG_CONFIG_HOME"));
  ASSERT_TRUE(WriteProfileString("Device", "Serial Number", "ZTMQR51700000000000042"));
  std::string text = ReadText(folder + "/Kestrune/orvalo-programmer.INI.conf");
  EXPECT_NE(text.find("[Device]\nSerial%20Number=ZTMQR51700000000000042\n"), std::string::npos) << text;

  WriteFile(folder + "/Kestrune/orvalo-programmer.INI.conf", "[Device]\nSerial%20Number=BYHAND\n");
  EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), "BYHAND");
  WriteFile(folder + "/Kestrune/orvalo-programmer.INI.conf", "[Other]\nSerial%20Number=WRONGSECTION\n");
  EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), "");
}

TEST_F(SettingsStorePosixTest, WithoutACompanyKeyTheProfileFileIsUsed) {
  std::string folder = std::string(getenv("XDG_CONFIG_HOME"));
  SetRegistryKey("");
  ASSERT_TRUE(WriteProfileString("Device", "Serial Number", "RV0058"));
  EXPECT_NE(ReadText(folder + "/orvalo-programmer.INI").find("[Device]\nSerial%20Number=RV0058\n"),
            std::string::npos);
  EXPECT_EQ(ReadText(folder + "/Kestrune/orvalo-programmer.INI.conf"), "");
  SetRegistryKey("Kestrune");
}

}  // namespace
