// Firmware files that are not regular files, as POSIX systems have them, and
// the checker against memory that ends where the text ends.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "image/firmware_file.h"
#include "image/hex_check.h"
#include "support/guarded_bytes.h"
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

// Every text is placed so that its last byte is the last readable byte
// before an inaccessible page: a checker that reads one byte past a record
// at the end of the text (no line end after it) crashes here instead of
// reading whatever follows in memory.
TEST_F(FirmwareFilePosixTest, TheCheckerReadsNothingPastTheText) {
  GuardedBytes memory;
  ASSERT_TRUE(memory.Ready());
  std::string data = HexRecord(4, 0x0100, 0, {0xDE, 0xAD, 0xBE, 0xEF});
  for (std::string text : {data + "\n:00000001FF", data + "\n:00000001F", data + "\n:0000000", data + "\n:",
                           data, data + "\r", std::string(":"), std::string(":0")}) {
    HexCheck check;
    int r = CheckHexText(memory.Place(text.data(), text.size()), text.size(), &check);
    EXPECT_EQ(r == 0, text == data + "\n:00000001FF") << text << " -> " << check.what;
  }
}

}  // namespace
