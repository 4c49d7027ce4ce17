// Firmware files that are not regular files, as POSIX systems have them.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "image/firmware_file.h"
#include "support/test_support.h"

namespace {

class FirmwareFilePosixTest : public ::testing::Test {
 protected:
  void TearDown() override { ResetGlobals(); }
};

// None of these may be read (a FIFO without a writer, /dev/zero and
// /dev/urandom would never end), and none falls back to another file.
TEST_F(FirmwareFilePosixTest, OnlyARegularFileIsEverRead) {
  std::string dir = TempDir("fw");
  std::string fifo = dir + "/pipe.hex";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (std::string path : {dir, std::string("/dev/null"), std::string("/dev/zero"), fifo}) {
    FirmwareCheck check;
    EXPECT_FALSE(OpenFirmwareFile(path.c_str(), &check)) << path;
    EXPECT_EQ(check.what, "not a regular file") << path;
    EXPECT_TRUE(check.opened) << path;
  }
}

}  // namespace
