// The bit transfer as it appears on the lines of the simulated cable.
#include <gtest/gtest.h>

#include "isp/bit_link.h"
#include "isp/instructions.h"
#include "isp/port.h"
#include "platform/clock.h"
#include "sim/sim.h"
#include "support/test_support.h"

namespace {

class BitLinkTest : public ::testing::Test {
 protected:
  void Open(const std::string& config = "") {
    InstallSim(config);
    ASSERT_EQ(OpenPort("COM1"), 0);
    device = sim::TheDevice();
  }
  void TearDown() override {
    g_delayCount = 0;
    ClosePort();
    sim::Uninstall();
  }
  sim::Device* device = nullptr;
};

TEST_F(BitLinkTest, ABytePutsItsBitsOnDtrInvertedAndEndsWithTheClockAtRest) {
  Open();
  StrobeControl(0);  // in reset the device watches the clock
  g_hPort->SetBreak(true);  // clock at rest, as after any transfer
  device->ClearRecords();
  uint8_t in = 0;
  ASSERT_EQ(TransferByte(0xA5, &in), 0);
  EXPECT_EQ(device->DtrAtRisingEdges(), (std::vector<int>{0, 1, 0, 1, 1, 0, 1, 0}));
  EXPECT_FALSE(device->Dtr());
  EXPECT_TRUE(device->Break());
  sim::LineCounts c = device->Counts();
  EXPECT_EQ(c.total(), 32u);
  EXPECT_EQ(c.cts, 8u);
  EXPECT_EQ(c.dtr, 8u);
  EXPECT_EQ(c.brk, 16u);
}

TEST_F(BitLinkTest, ANullDestinationTouchesNoLine) {
  Open();
  device->ClearRecords();
  EXPECT_EQ(TransferByte(0x12, nullptr), kTransferNoBuffer);
  EXPECT_EQ(device->Counts().total(), 0u);
}

TEST_F(BitLinkTest, CtsNeverAssertedReadsAllOnesAndAlwaysAssertedAllZeros) {
  Open("port=COM2");  // COM1 has nothing on it
  uint8_t in = 0;
  TransferByte(0x00, &in);
  EXPECT_EQ(in, 0xFF);
  ClosePort();
  sim::Uninstall();
  Open();
  ASSERT_EQ(EnterProgrammingMode(), 0);
  TransferByte(0x00, &in);  // the device echoes the byte before: all zero bits
  TransferByte(0x00, &in);
  EXPECT_EQ(in, 0x00);
}

// A port whose modem-status reads fail, even though it would report CTS
// asserted: a failed read counts as CTS not asserted, a 1 bit.
class FailingStatusPort : public QuietPort {
 public:
  bool GetCts(bool* asserted) override {
    *asserted = true;
    return false;
  }
};

TEST_F(BitLinkTest, AFailedStatusReadIsAOneBit) {
  g_hPort = new FailingStatusPort;
  uint8_t in = 0;
  EXPECT_EQ(TransferByte(0x00, &in), 0);
  EXPECT_EQ(in, 0xFF);
}

TEST_F(BitLinkTest, ADelayUnitIsDelayCountPlusOneYields) {
  Open();
  for (uint8_t count : {0, 7}) {
    g_delayCount = count;
    plat::ResetClockStats();
    DelayUnit();
    EXPECT_EQ(plat::GetClockStats().yields, count + 1u);
    plat::ResetClockStats();
    uint8_t in;
    TransferByte(0x3C, &in);
    EXPECT_EQ(plat::GetClockStats().yields, 16u * (count + 1u));
  }
}

TEST_F(BitLinkTest, StrobeControlLeavesRtsAssertedForAnyLevel) {
  Open();
  StrobeControl(0);
  EXPECT_EQ(device->ControlLevel(), 0);
  EXPECT_TRUE(device->Rts());
  EXPECT_FALSE(device->Dtr());
  StrobeControl(0x80);
  EXPECT_EQ(device->ControlLevel(), 1);
  EXPECT_TRUE(device->Rts());
  EXPECT_TRUE(device->Dtr());
}

}  // namespace
