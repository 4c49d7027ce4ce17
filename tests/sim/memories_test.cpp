// The part's memories through its programming instructions, frame by frame on
// the line: signature, EEPROM, lock bits, and Chip Erase ended by a reset.
#include <gtest/gtest.h>

#include <initializer_list>

#include "isp/bit_link.h"
#include "isp/instructions.h"
#include "isp/port.h"
#include "platform/clock.h"
#include "sim/sim.h"
#include "support/test_support.h"

namespace {

class MemoriesTest : public ::testing::Test {
 protected:
  void Open(const std::string& config = "") {
    InstallSim(config);
    device = sim::TheDevice();
    ASSERT_EQ(OpenPort("COM1"), 0);
    ASSERT_EQ(EnterProgrammingMode(), 0);
    device->ClearRecords();
  }
  void TearDown() override {
    ClosePort();
    sim::Uninstall();
  }
  // One four-byte instruction; what came back in the fourth transfer.
  static uint8_t Send(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    uint8_t in = 0;
    for (uint8_t out : {a, b, c}) TransferByte(out, &in);
    TransferByte(d, &in);
    return in;
  }
  static uint8_t ReadEeprom(int addr) { return Send(0xA0, uint8_t(addr >> 8), uint8_t(addr), 0x00); }
  static void WriteEeprom(int addr, uint8_t v) { Send(0xC0, uint8_t(addr >> 8), uint8_t(addr), v); }
  static uint8_t Signature(int i) { return Send(0x30, 0x00, uint8_t(i), 0x00); }
  // RESET released for a moment and held again: what ends a Chip Erase.
  static void ResetPulse() {
    StrobeControl(1);
    plat::Sleep(1);
    StrobeControl(0);
    plat::Sleep(22);
  }
  // Flash 0x0010 and EEPROM 0x010 written, the part locked, and its Chip
  // Erase just sent.
  void EraseSentToALockedPart() {
    Open();
    ASSERT_EQ(WriteFlashByte(0x0010, 0x42), 0);
    WriteEeprom(0x010, 0x43);
    plat::Sleep(5);
    Send(0xAC, 0xE0, 0x00, 0x00);
    ASSERT_TRUE(device->Locked());
    device->ClearRecords();
    Send(0xAC, 0x80, 0x00, 0x00);
  }
  sim::Device* device = nullptr;
};

TEST_F(MemoriesTest, TheSignatureIsThePartsAndOnlyTheSignatureItemChangesIt) {
  Open();
  EXPECT_EQ(Signature(0), 0x1E);
  EXPECT_EQ(Signature(1), 0x93);
  EXPECT_EQ(Signature(2), 0x01);
  ClosePort();
  sim::Uninstall();
  Open("signature=1E9303");
  EXPECT_EQ(Signature(0), 0x1E);
  EXPECT_EQ(Signature(1), 0x93);
  EXPECT_EQ(Signature(2), 0x03);
  uint8_t b = 0;
  ASSERT_EQ(ReadFlashByte(0x0000, &b), 0);
  EXPECT_EQ(b, 0xFF);
  EXPECT_EQ(ReadEeprom(0), 0xFF);
  EXPECT_EQ(device->ProtocolViolations(), 0u);
}

TEST_F(MemoriesTest, TheSignatureIsUnreadableOnlyInLockMode3) {
  Open("lockread=5A");
  Send(0xAC, 0xFD, 0x00, 0x00);  // LB1: writes locked, reads still allowed
  EXPECT_EQ(Signature(1), 0x93);
  Send(0xAC, 0xF9, 0x00, 0x00);  // LB1 and LB2
  EXPECT_EQ(Signature(0), 0x5A);
  EXPECT_EQ(Signature(1), 0x5A);
}

TEST_F(MemoriesTest, EepromHolds512BytesApartFromFlash) {
  Open();
  WriteEeprom(0x1FF, 0x12);  // the highest address: 9 bits
  plat::Sleep(5);
  WriteEeprom(0x000, 0x34);
  plat::Sleep(5);
  WriteEeprom(0x0FF, 0x00);
  plat::Sleep(5);
  WriteEeprom(0x0FF, 0xC3);  // a write replaces the byte, it does not only clear bits
  plat::Sleep(5);
  EXPECT_EQ(ReadEeprom(0x1FF), 0x12);
  EXPECT_EQ(ReadEeprom(0x000), 0x34);
  EXPECT_EQ(ReadEeprom(0x0FF), 0xC3);
  EXPECT_EQ(ReadEeprom(0x100), 0xFF);
  std::vector<uint8_t> e = device->Eeprom();
  EXPECT_EQ(e[0x1FF], 0x12);
  EXPECT_EQ(e[0x000], 0x34);
  EXPECT_EQ(device->Flash(), std::vector<uint8_t>(8192, 0xFF));
  EXPECT_EQ(device->ProtocolViolations(), 0u);
}

// The byte being written reads 0x80 for the first half of the busy time, 0x7F
// for the second, then its data; reading it is allowed, anything else is not.
TEST_F(MemoriesTest, AnEepromByteBeingWrittenPollsThenGivesItsData) {
  Open("busy=8");
  WriteEeprom(0x042, 0x99);
  plat::Sleep(1);
  EXPECT_EQ(ReadEeprom(0x042), 0x80);
  plat::Sleep(4);
  EXPECT_EQ(ReadEeprom(0x042), 0x7F);
  EXPECT_EQ(device->ProtocolViolations(), 0u);
  ReadEeprom(0x043);
  EXPECT_EQ(device->ProtocolViolations(), 1u);
  plat::Sleep(4);
  EXPECT_EQ(ReadEeprom(0x042), 0x99);
  EXPECT_EQ(device->ProtocolViolations(), 1u);
}

TEST_F(MemoriesTest, TheLockBitsProtectEepromLikeFlash) {
  Open("lockread=A5");
  WriteEeprom(0x010, 0x11);
  plat::Sleep(5);
  Send(0xAC, 0xFD, 0x00, 0x00);  // LB1: no more writes
  WriteEeprom(0x010, 0x22);
  WriteEeprom(0x011, 0x33);
  plat::Sleep(5);
  EXPECT_EQ(ReadEeprom(0x010), 0x11);
  EXPECT_EQ(ReadEeprom(0x011), 0xFF);
  Send(0xAC, 0xF9, 0x00, 0x00);  // and LB2: no reads either
  EXPECT_EQ(ReadEeprom(0x010), 0xA5);
  EXPECT_EQ(device->Eeprom()[0x010], 0x11);
}

TEST_F(MemoriesTest, ChipEraseEndsOnlyWithAResetPulse) {
  EraseSentToALockedPart();
  plat::Sleep(30);
  // Without its reset pulse the erase has not ended: nothing is erased yet,
  // and what is sent meanwhile is ignored.
  EXPECT_EQ(device->Flash()[0x0010], 0x42);
  EXPECT_TRUE(device->Locked());
  Send(0x40, 0x00, 0x20, 0x00);
  Send(0x20, 0x00, 0x08, 0x00);
  EXPECT_EQ(device->ProtocolViolations(), 2u);
  EXPECT_EQ(device->Flash()[0x0040], 0xFF);

  ResetPulse();
  EXPECT_EQ(device->Flash(), std::vector<uint8_t>(8192, 0xFF));
  EXPECT_EQ(device->Eeprom(), std::vector<uint8_t>(512, 0xFF));
  EXPECT_FALSE(device->Locked());
  EXPECT_EQ(device->ProtocolViolations(), 2u);
}

TEST_F(MemoriesTest, AResetPulseBeforeTheEraseTimeLeavesEverythingAsItWas) {
  EraseSentToALockedPart();
  plat::Sleep(10);
  ResetPulse();
  EXPECT_EQ(device->ProtocolViolations(), 1u);
  EXPECT_EQ(device->Flash()[0x0010], 0x42);
  EXPECT_TRUE(device->Locked());
  // A later reset pulse does not finish the abandoned erase either.
  ResetPulse();
  EXPECT_EQ(device->Flash()[0x0010], 0x42);
}

// The host's own erase: the instruction, 22 ms, the reset pulse, the restart.
TEST_F(MemoriesTest, TheHostsEraseCompletesWithoutViolations) {
  Open();
  ASSERT_EQ(WriteFlashByte(0x0000, 0x01), 0);
  WriteEeprom(0x000, 0x02);
  plat::Sleep(5);
  Send(0xAC, 0xE0, 0x00, 0x00);
  ASSERT_EQ(EraseChip(), 0);
  EXPECT_EQ(device->Flash(), std::vector<uint8_t>(8192, 0xFF));
  EXPECT_EQ(device->Eeprom(), std::vector<uint8_t>(512, 0xFF));
  EXPECT_FALSE(device->Locked());
  EXPECT_EQ(device->ProtocolViolations(), 0u);
}

}  // namespace
