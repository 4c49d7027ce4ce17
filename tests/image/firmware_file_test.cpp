#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "state/shared_state.h"
#include "image/firmware_file.h"
#include "platform/file.h"
#include "support/test_support.h"

namespace {

class FirmwareFileTest : public ::testing::Test {
 protected:
  void TearDown() override { ResetGlobals(); }
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

}  // namespace
