// Firmware files that are not regular files, as POSIX systems have them, and
// the checker against memory that ends where the text ends.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include <gtest/gtest.h>

#include "image/firmware_file.h"
#include "image/hex_check.h"
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
  long page = sysconf(_SC_PAGESIZE);
  void* map = mmap(nullptr, size_t(2 * page), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  uint8_t* guard = static_cast<uint8_t*>(map) + page;
  ASSERT_EQ(mprotect(guard, size_t(page), PROT_NONE), 0);
  std::string data = HexRecord(4, 0x0100, 0, {0xDE, 0xAD, 0xBE, 0xEF});
  for (std::string text : {data + "\n:00000001FF", data + "\n:00000001F", data + "\n:0000000", data + "\n:",
                           data, data + "\r", std::string(":"), std::string(":0")}) {
    uint8_t* start = guard - text.size();
    std::memcpy(start, text.data(), text.size());
    HexCheck check;
    int r = CheckHexText(start, text.size(), &check);
    EXPECT_EQ(r == 0, text == data + "\n:00000001FF") << text << " -> " << check.what;
  }
  munmap(map, size_t(2 * page));
}

}  // namespace
