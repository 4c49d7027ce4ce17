#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "state/shared_state.h"
#include "image/firmware_file.h"
#include "platform/memory_file.h"
#include "platform/file.h"
#include "support/test_support.h"

namespace {

class FirmwareFileTest : public ::testing::Test {
 protected:
  void TearDown() override { ResetGlobals(); }
  RecordingDialog dialog;
};

TEST_F(FirmwareFileTest, AUsableFileIsCountedAndBecomesTheCheckedCopy) {
  std::string dir = TempDir("fw");
  std::string text;
  for (int i = 0; i < 119; ++i) text += HexRecord(1, i, 0, {uint8_t(i)}) + "\r\n";
  text += ":00000001FF\r\n";
  WriteFile(dir + "/a.hex", text);
  FirmwareCheck check;
  auto f = OpenFirmwareFile((dir + "/a.hex").c_str(), &check);
  ASSERT_TRUE(f) << check.what;
  EXPECT_EQ(g_recordCount, 120);
  EXPECT_FALSE(check.empty);
  ASSERT_TRUE(g_firmwareImage);
  std::string copy(text.size() + 1, '\0');
  EXPECT_EQ(g_firmwareImage->Read(&copy[0], int(copy.size())), int(text.size()));
  EXPECT_EQ(copy.substr(0, text.size()), text);
  f.reset();

  EXPECT_FALSE(OpenFirmwareFile((dir + "/missing.hex").c_str(), &check));
  EXPECT_FALSE(check.opened);
  EXPECT_EQ(g_recordCount, 120);  // a failed open leaves the count alone
  EXPECT_FALSE(OpenFirmwareFile(""));
}

class CountingFile : public plat::MemoryFile {
 public:
  using plat::MemoryFile::MemoryFile;
  int Read(void* buf, int n) override {
    ++reads;
    return plat::MemoryFile::Read(buf, n);
  }
  int reads = 0;
};

// The image is read in large blocks, not a byte per read.
TEST_F(FirmwareFileTest, TheFileIsReadWholeInBlocks) {
  std::string text = std::string(200000, '\n') + ":00000001FF\n";
  CountingFile file(std::vector<uint8_t>(text.begin(), text.end()));
  FirmwareCheck check;
  ASSERT_EQ(LoadFirmwareImage(&file, &check), 0) << check.what;
  EXPECT_EQ(file.bytesRead(), text.size());
  EXPECT_LE(file.reads, 5);
  EXPECT_TRUE(check.empty);
  // A read that fails before the end makes the file unusable.
  plat::MemoryFile failing(std::vector<uint8_t>(text.begin(), text.end()), 100000);
  EXPECT_EQ(LoadFirmwareImage(&failing, &check), kHexUnusable);
  EXPECT_EQ(check.line, 0);
}

// A held file that can no longer be read from its start (a network share gone,
// a file cut short under the program) is unusable and replaces nothing: the
// image from before stays, and so does its record count.
class NoRewindFile : public plat::MemoryFile {
 public:
  using plat::MemoryFile::MemoryFile;
  bool Rewind() override { return false; }
};

TEST_F(FirmwareFileTest, AFileThatCannotBeRewoundIsUnusable) {
  std::string text = ":00000001FF\n";
  NoRewindFile file(std::vector<uint8_t>(text.begin(), text.end()));
  FirmwareCheck check;
  g_recordCount = 7;
  EXPECT_EQ(LoadFirmwareImage(&file, &check), kHexUnusable);
  EXPECT_EQ(check.what, "cannot be read from its start");
  EXPECT_EQ(LoadFirmwareImage(nullptr, &check), kHexUnusable);
  EXPECT_EQ(g_recordCount, 7);
}

// A file that keeps growing (or never ends) is refused once it passes the
// limit, instead of filling memory: blank lines, so only the size is wrong.
// With a size, the file ends there with an end record, so it is a usable image.
class BlankLinesFile : public plat::File {
 public:
  explicit BlankLinesFile(size_t size = 0) : size_(size) {}
  int Read(void* buf, int n) override {
    size_t take = size_ ? std::min(size_t(n), size_ - given) : size_t(n);
    std::memset(buf, '\n', take);
    const std::string end = ":00000001FF\n";
    for (size_t i = 0; i < take && size_; ++i)
      if (given + i >= size_ - end.size()) static_cast<char*>(buf)[i] = end[given + i - (size_ - end.size())];
    given += take;
    return int(take);
  }
  bool Rewind() override {
    given = 0;
    return true;
  }
  size_t given = 0;

 private:
  size_t size_;
};

TEST_F(FirmwareFileTest, AFileLargerThanTheLimitIsRefused) {
  BlankLinesFile endless;
  FirmwareCheck check;
  EXPECT_EQ(LoadFirmwareImage(&endless, &check), kHexUnusable);
  EXPECT_EQ(check.what, "larger than 64 MiB");
  EXPECT_GT(endless.given, kFirmwareFileLimit);
  EXPECT_LE(endless.given, kFirmwareFileLimit + 65536);
  // The limit itself is still a file this programmer takes.
  BlankLinesFile atLimit(kFirmwareFileLimit);
  EXPECT_EQ(LoadFirmwareImage(&atLimit, &check), 0) << check.what;
  BlankLinesFile justOver(kFirmwareFileLimit + 1);
  EXPECT_EQ(LoadFirmwareImage(&justOver, &check), kHexUnusable);
  EXPECT_EQ(check.what, "larger than 64 MiB");
}

// A cycle started with no firmware file held reads nothing and says why; an
// image left from before is dropped, so nothing stale reaches the chip.
TEST_F(FirmwareFileTest, ReloadingWithNoFileHeldIsRefused) {
  g_hFirmware.reset();
  std::string text = ":00000001FF\n";
  g_firmwareImage.reset(new plat::MemoryFile(std::vector<uint8_t>(text.begin(), text.end())));
  FirmwareCheck check;
  EXPECT_EQ(ReloadFirmwareImage(&check), kHexUnusable);
  EXPECT_EQ(check.what, "no firmware file is open");
  EXPECT_FALSE(check.opened);
  EXPECT_EQ(g_firmwareImage, nullptr);
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

namespace {

// The passes' tests reach the file through the same open and count as the
// front ends: a file, held, counted, rewound.
TEST(FirmwareTextTest, TheTestFirmwareIsOpenedAsAFile) {
  UseFirmwareText("x:y:z:\n");
  ASSERT_TRUE(g_hFirmware);
  EXPECT_EQ(g_recordCount, 3);
  char c = 0;
  EXPECT_EQ(g_hFirmware->Read(&c, 1), 1);
  EXPECT_EQ(c, 'x');
  UseFirmwareText(":00000001FF", 5);  // reads fail after five bytes
  EXPECT_EQ(g_recordCount, 1);
  ResetGlobals();
}

}  // namespace
