// The settings store's own failure, where it is a file of QSettings: a file
// standing where the company folder must go.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/settings_store.h"
#include "support/test_support.h"

namespace {

class SettingsStorePosixTest : public ::testing::Test {
 protected:
  void SetUp() override { UseIsolatedSettings("store"); }
};

TEST_F(SettingsStorePosixTest, AStoreThatCannotBeWrittenSaysSo) {
  // Root ignores permissions: a file where the company folder must go.
  WriteFile(std::string(getenv("XDG_CONFIG_HOME")) + "/Kestrune", "in the way");
  EXPECT_FALSE(WriteProfileString("Device", "Serial Number", "X"));
  EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), "");
}

TEST_F(SettingsStorePosixTest, EachUseLooksInTheConfigFolderOfTheMoment) {
  EXPECT_TRUE(WriteProfileString("Device", "Serial Number", "ZTMQR51700000000000042"));
  UseIsolatedSettings("another");  // another station: it must not see the value
  EXPECT_EQ(GetProfileString("Device", "Serial Number", ""), "");
}

}  // namespace
