// The HEX passes streamed against the simulated device on the virtual clock.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "image/firmware_file.h"
#include "image/hex_passes.h"
#include "isp/instructions.h"
#include "isp/port.h"
#include "platform/memory_file.h"
#include "sim/sim.h"
#include "support/test_support.h"

namespace {

class HexPassTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallSim("");
    ASSERT_EQ(OpenPort("COM1"), 0);
    ASSERT_EQ(EnterProgrammingMode(), 0);
    ASSERT_EQ(EraseChip(), 0);
    device = sim::TheDevice();
    device->ClearRecords();
  }
  void Reinstall(const std::string& config) {
    ClosePort();
    sim::Uninstall();
    InstallSim(config);
    ASSERT_EQ(OpenPort("COM1"), 0);
    ASSERT_EQ(EnterProgrammingMode(), 0);
    device = sim::TheDevice();
    device->ClearRecords();
  }
  void TearDown() override {
    ResetGlobals();
    sim::Uninstall();
  }
  sim::Device* device = nullptr;
  RecordingDialog dialog;
};

TEST_F(HexPassTest, ARealImageIsProgrammedAndVerifiedByteForByte) {
  std::mt19937 rng(3);
  std::vector<uint8_t> image(6000);
  for (uint8_t& b : image) b = uint8_t(rng());  // 0xFF bytes included
  UseFirmwareText(MakeHex(image, 0, 16, "\r\n"));
  ASSERT_EQ(g_recordCount, 376);
  g_failAddress = 0x1234;  // left by an earlier failure: a pass that succeeds keeps it
  ASSERT_EQ(ProgramFromHex(&dialog), 0);
  EXPECT_EQ(g_failAddress, 0x1234);
  std::vector<uint8_t> flash = device->Flash();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
  EXPECT_EQ(flash[6000], 0xFF);
  EXPECT_EQ(VerifyFromHex(&dialog), 0);
  EXPECT_EQ(g_failAddress, 0x1234);
  EXPECT_EQ(dialog.LastText(), "Verifying, 100% Completed.");
  EXPECT_EQ(device->ProtocolViolations(), 0u);
  EXPECT_FALSE(dialog.LastRed());
}

// Common toolchains open an image with a zero-base address record; it must
// neither reach flash nor end the pass. Only the end record ends it.
TEST_F(HexPassTest, OnlyDataRecordsReachFlashAndOnlyTheEndRecordEndsThePass) {
  for (int type : {2, 3, 4, 5}) {
    ResetGlobals();
    sim::Uninstall();
    SetUp();
    std::vector<uint8_t> carried = type == 3 || type == 5 ? std::vector<uint8_t>{0x12, 0x34, 0x56, 0x78}
                                                          : std::vector<uint8_t>{0x00, 0x00};
    UseFirmwareText(HexRecord(int(carried.size()), 0x0000, type, carried) + "\n" +
                    HexRecord(2, 0x0040, 0, {0x11, 0x22}) + "\n:00000001FF\n" + HexRecord(1, 0x0200, 0, {0x55}) + "\n");
    ASSERT_EQ(ProgramFromHex(&dialog), 0) << type;
    std::vector<uint8_t> f = device->Flash();
    EXPECT_EQ(f[0x0000], 0xFF) << type;
    EXPECT_EQ(f[0x0001], 0xFF) << type;
    EXPECT_EQ(f[0x0040], 0x11) << type;
    EXPECT_EQ(f[0x0041], 0x22) << type;
    EXPECT_EQ(f[0x0200], 0xFF) << "nothing after the end record is read";
    EXPECT_EQ(VerifyFromHex(&dialog), 0);
    EXPECT_EQ(dialog.LastText(), "Verifying, 75% Completed.");
  }
}

TEST_F(HexPassTest, TheAddressWrapsAndEmptyRecordsCountButTouchNothing) {
  UseFirmwareText(HexRecord(0, 0x0300, 0, {}) + "\n" + HexRecord(2, 0xFFFF, 0, {0xAB, 0xCD}) + "\n:00000001FF\n");
  ASSERT_EQ(ProgramFromHex(&dialog), 0);
  std::vector<uint8_t> f = device->Flash();
  EXPECT_EQ(f[0x1FFF], 0xAB);  // 0xFFFF lands at the top of the 8 KiB
  EXPECT_EQ(f[0x0000], 0xCD);  // and the next byte wraps to 0x0000
  EXPECT_EQ(device->Frames().size(), 2u);
  EXPECT_EQ(dialog.Texts().front(), "Programming, 33% Completed.");
}

TEST_F(HexPassTest, FFBytesAreWrittenAsNothingYetVerified) {
  UseFirmwareText(HexRecord(3, 0x0010, 0, {0xFF, 0x00, 0xFF}) + "\n:00000001FF\n");
  ASSERT_EQ(ProgramFromHex(&dialog), 0);
  EXPECT_EQ(device->Frames().size(), 1u);
  device->ClearRecords();
  EXPECT_EQ(VerifyFromHex(&dialog), 0);
  EXPECT_EQ(device->Frames().size(), 3u);
}

// Blanks and padding are no data; a byte given twice is written and read once.
TEST_F(HexPassTest, RepeatedBytesAndPaddingAreHandledOnce) {
  UseFirmwareText(HexRecord(3, 0x0010, 0, {1, 2, 3}) + " \t\n" + HexRecord(2, 0x0011, 0, {2, 3}) + "\t\n" +
                  ":00000001FF \x1A" + std::string(8, '\0'));
  ASSERT_TRUE(g_hFirmware);  // the checked copy, not the raw text
  ASSERT_EQ(ProgramFromHex(&dialog), 0);
  EXPECT_EQ(device->Frames().size(), 3u);
  EXPECT_EQ(VerifyFromHex(&dialog), 0);
  EXPECT_EQ(device->Frames().size(), 6u);
}

TEST_F(HexPassTest, AFailedWriteStopsAtItsByte) {
  Reinstall("failwrite=0104");
  UseFirmwareText(HexRecord(8, 0x0100, 0, {1, 2, 3, 4, 5, 6, 7, 8}) + "\n:00000001FF\n");
  g_failAddress = 0;
  EXPECT_EQ(ProgramFromHex(&dialog), kWriteFailed);
  EXPECT_EQ(g_failAddress, 0x0104);
  EXPECT_EQ(device->Flash()[0x0105], 0xFF);
}

TEST_F(HexPassTest, AMismatchStopsVerificationAtItsByte) {
  Reinstall("badread=0200");
  UseFirmwareText(HexRecord(2, 0x0200, 0, {0x10, 0x20}) + "\n:00000001FF\n");
  ASSERT_EQ(ProgramFromHex(&dialog), 0);
  EXPECT_EQ(VerifyFromHex(&dialog), kVerifyMismatch);
  EXPECT_EQ(g_failAddress, 0x0200);
}

TEST_F(HexPassTest, PercentagesAreTruncatedInDoublePrecision) {
  std::string text;
  for (int i = 0; i < 99; ++i) text += HexRecord(0, 0, 0, {}) + "\n";
  UseFirmwareText(text + ":00000001FF\n");
  ASSERT_EQ(ProgramFromHex(&dialog), 0);
  std::vector<std::string> t = dialog.Texts();
  ASSERT_EQ(t.size(), 100u);
  EXPECT_EQ(t[28], "Programming, 28% Completed.");  // 29 of 100
  EXPECT_EQ(t[56], "Programming, 56% Completed.");
  EXPECT_EQ(t[57], "Programming, 57% Completed.");
  EXPECT_EQ(t[99], "Programming, 100% Completed.");
}

TEST_F(HexPassTest, OnlyAnEndRecordShowsOneHundredPercentAndTouchesNothing) {
  UseFirmwareText(":00000001FF");
  EXPECT_EQ(VerifyFromHex(&dialog), 0);
  EXPECT_EQ(dialog.Texts(), (std::vector<std::string>{"Verifying, 100% Completed."}));
  EXPECT_TRUE(device->Frames().empty());
}

TEST_F(HexPassTest, QuirksOfTheReaderAreKept) {
  // Text before the first ':' is skipped, digits of either case, a non-hex
  // digit reads 0, a short line takes its digits from what follows (a ':'
  // there is a 0 digit and starts no record), the checksum is not checked.
  UseFirmwareText("header line\r\n\n:0200100041aBzz\n:03002000A1:\n:00000001FF\n:00000001FF\n");
  EXPECT_EQ(g_recordCount, 5);
  ASSERT_EQ(ProgramFromHex(&dialog), 0);
  std::vector<uint8_t> f = device->Flash();
  EXPECT_EQ(f[0x0010], 0x41);
  EXPECT_EQ(f[0x0011], 0xAB);
  EXPECT_EQ(f[0x0020], 0xA1);
  EXPECT_EQ(f[0x0021], 0x00);  // ":\n" read as two digits
  EXPECT_EQ(f[0x0022], 0x00);  // ":0"
  EXPECT_EQ(HexDigitValue('G'), 0);
  EXPECT_EQ(HexDigitValue('f'), 15);
  EXPECT_EQ(HexDigitValue('F'), 15);
}

TEST_F(HexPassTest, AFileThatEndsBeforeItsLastRecordIsAFailure) {
  struct Case {
    std::string text;
    uint16_t address;
  } cases[] = {
      {"", 0x0000},
      {"no records at all\n", 0x0000},
      {HexRecord(2, 0x0400, 0, {1, 2}) + "\n", 0x0402},  // no end record
      {":04050000010203", 0x0503},                         // cut inside the data
      {":0405", 0x0000},                                   // cut inside the address
      {":00000001", 0x0000},                               // end record without its checksum
  };
  for (const Case& c : cases) {
    UseFirmwareText(c.text);
    g_failAddress = 0xEEEE;
    EXPECT_EQ(ProgramFromHex(&dialog), kHexEndedEarly) << c.text;
    EXPECT_EQ(g_failAddress, c.address) << c.text;
    EXPECT_EQ(VerifyFromHex(&dialog), kHexEndedEarly) << c.text;
  }
}

TEST_F(HexPassTest, AReadErrorHalfWayIsAFailureToo) {
  std::string text = MakeHex(std::vector<uint8_t>(64, 0x42));
  UseFirmwareText(text, long(text.size() / 2));
  EXPECT_EQ(ProgramFromHex(&dialog), kHexEndedEarly);
}

}  // namespace

namespace {

// A file whose one read, the `failing`th byte of the first pass over it,
// fails; every read after that works.
class OneBadReadFile : public plat::File {
 public:
  OneBadReadFile(std::string text, int failing) : text_(std::move(text)), failing_(failing) {}
  int Read(void* buf, int n) override {
    if (reads_++ == failing_) return -1;
    int k = std::min(n, int(text_.size() - pos_));
    std::memcpy(buf, text_.data() + pos_, size_t(k));
    pos_ += size_t(k);
    return k;
  }
  bool Rewind() override {
    pos_ = 0;
    return true;
  }

 private:
  std::string text_;
  int failing_;
  int reads_ = 0;
  size_t pos_ = 0;
};

// A read error while the file is read in makes it unusable, however much of it
// came before: a count or an image cut short would program part of a file.
TEST_F(HexPassTest, AReadErrorWhileReadingTheFileInMakesItUnusable) {
  std::string text = HexRecord(2, 0x0040, 0, {0x11, 0x22}) + "\n" + HexRecord(1, 0x0050, 0, {0x33}) +
                     "\n:00000001FF\n";
  for (int failing : {0, 1}) {
    OneBadReadFile file(text, failing);
    FirmwareCheck check;
    g_recordCount = 7;
    EXPECT_EQ(LoadFirmwareImage(&file, &check), kHexUnusable) << failing;
    EXPECT_EQ(check.what, "a read failed before the end of the file");
    EXPECT_EQ(g_recordCount, 7) << "left alone";
  }
  OneBadReadFile file(text, 99);  // a read that never comes: the file is fine
  FirmwareCheck check;
  EXPECT_EQ(LoadFirmwareImage(&file, &check), 0);
  EXPECT_EQ(g_recordCount, 3);
}

}  // namespace
