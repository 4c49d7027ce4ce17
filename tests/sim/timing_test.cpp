// The timing the simulated part depends on, and what it does to a host that
// does not keep it: an early Programming Enable, instructions during a
// write's busy time, a write pause shorter than the part's busy time.
#include <gtest/gtest.h>

#include <initializer_list>

#include "cycle/programming_cycle.h"
#include "isp/bit_link.h"
#include "isp/instructions.h"
#include "isp/port.h"
#include "platform/clock.h"
#include "sim/sim.h"
#include "support/test_support.h"

namespace {

uint8_t Send(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  uint8_t in = 0;
  for (uint8_t out : {a, b, c}) TransferByte(out, &in);
  TransferByte(d, &in);
  return in;
}

// Third transfer's answer: 0x53 when the part took the Programming Enable.
uint8_t Enable() {
  uint8_t echo = 0, in = 0;
  TransferByte(0xAC, &in);
  TransferByte(0x53, &in);
  TransferByte(0x00, &echo);
  TransferByte(0x00, &in);
  return echo;
}

class TimingTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ClosePort();
    ResetGlobals();
    sim::Uninstall();
  }
};

TEST_F(TimingTest, ProgrammingEnableEarlierThan20msAfterResetIsAViolation) {
  InstallSim("");
  ASSERT_EQ(OpenPort("COM1"), 0);
  g_hPort->SetBreak(true);
  StrobeControl(0);
  sim::TheDevice()->ClearRecords();
  plat::Sleep(15);
  EXPECT_NE(Enable(), 0x53);
  EXPECT_EQ(sim::TheDevice()->ProtocolViolations(), 1u);
  plat::Sleep(5);
  EXPECT_EQ(Enable(), 0x53);
  EXPECT_EQ(sim::TheDevice()->ProtocolViolations(), 1u);
}

TEST_F(TimingTest, DuringAWriteOnlyReadsOfThatByteAreAllowed) {
  InstallSim("busy=8");
  ASSERT_EQ(OpenPort("COM1"), 0);
  ASSERT_EQ(EnterProgrammingMode(), 0);
  sim::Device* d = sim::TheDevice();
  d->ClearRecords();
  Send(0x40, 0x00, 0x10, 0x12);               // flash byte 0x20
  EXPECT_EQ(Send(0x20, 0x00, 0x10, 0x00), 0x7F);  // polling it: allowed
  EXPECT_EQ(d->ProtocolViolations(), 0u);
  Send(0x28, 0x00, 0x10, 0x00);  // its neighbour
  Send(0xA0, 0x00, 0x20, 0x00);  // an EEPROM byte of the same number
  Send(0x30, 0x00, 0x00, 0x00);  // the signature
  Send(0xAC, 0xE0, 0x00, 0x00);  // the lock bits: not carried out
  Send(0xC0, 0x00, 0x01, 0x00);  // an EEPROM write: not carried out
  EXPECT_EQ(d->ProtocolViolations(), 5u);
  EXPECT_FALSE(d->Locked());
  EXPECT_EQ(d->Eeprom()[1], 0xFF);
  plat::Sleep(8);
  EXPECT_EQ(Send(0x20, 0x00, 0x10, 0x00), 0x12);
  EXPECT_EQ(d->ProtocolViolations(), 5u);
}

// The host pauses 6 ms after each byte it writes. A part that needs longer
// drops every write that lands in the busy time: Verify finds the first one.
TEST_F(TimingTest, AWritePauseShorterThanThePartsBusyTimeLosesBytes) {
  std::vector<uint8_t> image(16, 0x11);
  UseFirmwareText(MakeHex(image));
  InstallSim("busy=6");
  RecordingDialog ok;
  ok.SetVerify(true);
  OnStart(&ok);
  JoinCycleThread();
  EXPECT_EQ(ok.LastText(), "Programming Completed Successfully.");
  EXPECT_EQ(sim::TheDevice()->ProtocolViolations(), 0u);
  sim::Uninstall();

  UseFirmwareText(MakeHex(image));
  InstallSim("busy=10");
  RecordingDialog verified;
  verified.SetVerify(true);
  OnStart(&verified);
  JoinCycleThread();
  EXPECT_EQ(verified.LastText(), "Verify Failed at 0x0001.");
  EXPECT_TRUE(verified.LastRed());
  EXPECT_GT(sim::TheDevice()->ProtocolViolations(), 0u);
  EXPECT_EQ(sim::TheDevice()->Flash()[1], 0xFF);  // dropped, not written half
  EXPECT_EQ(sim::TheDevice()->Flash()[2], 0x11);  // the next one fell after the busy time
}

// A busy time drawn per write: the same seed gives the same part every time,
// another seed another part.
TEST_F(TimingTest, ADrawnBusyTimeFollowsItsSeed) {
  auto lost = [](const std::string& config) {
    InstallSim(config);
    EXPECT_EQ(OpenPort("COM1"), 0);
    EXPECT_EQ(EnterProgrammingMode(), 0);
    for (int a = 0; a < 64; ++a) WriteFlashByte(a, 0x00);
    plat::Sleep(20);
    std::vector<uint8_t> flash = sim::TheDevice()->Flash();
    ClosePort();
    sim::Uninstall();
    return std::vector<uint8_t>(flash.begin(), flash.begin() + 64);
  };
  std::vector<uint8_t> a = lost("busy=4-8,seed=7");
  EXPECT_EQ(a, lost("busy=4-8,seed=7"));
  EXPECT_NE(a, lost("busy=4-8,seed=8"));
  int dropped = 0;
  for (uint8_t b : a) dropped += b == 0xFF;
  EXPECT_GT(dropped, 0);
  EXPECT_LT(dropped, 64);
  EXPECT_EQ(lost("busy=4-5"), std::vector<uint8_t>(64, 0x00));  // never above the host's pause
}

}  // namespace
