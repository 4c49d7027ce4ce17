// The programming instructions against the simulated device: frames on the
// lines, answers, and what ends up in flash.
#include <gtest/gtest.h>

#include <random>

#include "isp/instructions.h"
#include "isp/port.h"
#include "platform/clock.h"
#include "sim/sim.h"
#include "support/cycle_trace.h"
#include "support/test_support.h"

namespace {

class InstructionsTest : public ::testing::Test {
 protected:
  void Open(const std::string& config = "") {
    InstallSim(config);
    ASSERT_EQ(OpenPort("COM1"), 0);
    device = sim::TheDevice();
  }
  void OpenInProgramming(const std::string& config = "") {
    Open(config);
    ASSERT_EQ(EnterProgrammingMode(), 0);
    device->ClearRecords();
  }
  void TearDown() override {
    ClosePort();
    sim::Uninstall();
  }
  std::vector<uint8_t> LastFrame() {
    auto f = device->Frames();
    if (f.empty()) return {};
    return std::vector<uint8_t>(f.back().bytes, f.back().bytes + 4);
  }
  sim::Device* device = nullptr;
};

TEST_F(InstructionsTest, WriteFramesCarryTheWordAddressAndTheByteHalf) {
  OpenInProgramming();
  EXPECT_EQ(WriteFlashByte(0x0001, 0x12), 0);
  EXPECT_EQ(LastFrame(), (std::vector<uint8_t>{0x48, 0x00, 0x00, 0x12}));
  EXPECT_EQ(WriteFlashByte(0x1FE8, 0x34), 0);
  EXPECT_EQ(LastFrame(), (std::vector<uint8_t>{0x40, 0x0F, 0xF4, 0x34}));
  EXPECT_EQ(WriteFlashByte(0x1FFF, 0x56), 0);
  EXPECT_EQ(LastFrame(), (std::vector<uint8_t>{0x48, 0x0F, 0xFF, 0x56}));
  std::vector<uint8_t> f = device->Flash();
  EXPECT_EQ(f[0x0001], 0x12);
  EXPECT_EQ(f[0x1FE8], 0x34);
  EXPECT_EQ(f[0x1FFF], 0x56);
  EXPECT_EQ(device->ProtocolViolations(), 0u);
}

TEST_F(InstructionsTest, AnFFByteIsNeverSent) {
  OpenInProgramming();
  int64_t t0 = plat::NowUs();
  EXPECT_EQ(WriteFlashByte(0x0100, 0xFF), 0);
  EXPECT_EQ(device->Counts().total(), 0u);
  EXPECT_EQ(plat::NowUs(), t0);
}

TEST_F(InstructionsTest, ProgrammingEnableSyncsAfterAsManyAttemptsAsPulsesWereLost) {
  for (int slip = 0; slip <= 31; ++slip) {
    Open("slip=" + std::to_string(slip));
    device->ClearRecords();
    ASSERT_EQ(EnterProgrammingMode(), 0) << "slip " << slip;
    // Attempt slip+1 succeeds after one extra pulse per failed attempt.
    EXPECT_EQ(device->ClockPulses(), uint64_t(32 * (slip + 1) + slip)) << "slip " << slip;
    EXPECT_EQ(EraseChip(), 0) << "slip " << slip;  // the restart after the erase slips too
    ClosePort();
    sim::Uninstall();
  }
}

// With nothing answering, every one of the 32 attempts goes out whole with its
// extra clock pulse and its yield, and then the answer is "no device".
TEST_F(InstructionsTest, NoDeviceFailsAfter32Attempts) {
  for (const char* config : {"nodevice", "port=COM2"}) {
    SCOPED_TRACE(config);
    Open(config);
    cycle_trace::Begin();
    g_hPort = cycle_trace::Wrap("COM1", std::unique_ptr<plat::SerialPort>(g_hPort)).release();
    int64_t t0 = plat::NowUs();
    EXPECT_EQ(EnterProgrammingMode(), kNoAnswer);
    EXPECT_EQ(plat::NowUs() - t0, 30000);  // the reset's pauses only: failed attempts yield
    cycle_trace::End();
    int pulses = 0, yields = 0;
    std::vector<int> dtr;
    for (const TraceStep& s : cycle_trace::Steps()) {
      pulses += s.op == TraceOp::kBreak && s.value == 0;
      yields += s.op == TraceOp::kYield;
      if (s.op == TraceOp::kDtr) dtr.push_back(s.value);
    }
    // After the reset's three strobes, DTR carries only data bits, inverted:
    // 32 whole Programming Enable frames.
    std::vector<uint8_t> sent;
    for (size_t i = 3; i + 8 <= dtr.size(); i += 8) {
      int byte = 0;
      for (size_t k = 0; k < 8; ++k) byte = (byte << 1) | (dtr[i + k] ? 0 : 1);
      sent.push_back(uint8_t(byte));
    }
    std::vector<uint8_t> want;
    for (int attempt = 0; attempt < 32; ++attempt) want.insert(want.end(), {0xAC, 0x53, 0x00, 0x00});
    EXPECT_EQ(sent, want);
    EXPECT_EQ(dtr.size(), 3u + 32 * 32);
    EXPECT_EQ(pulses, 32 * (32 + 1));
    // Per attempt two units a bit, 3 between the bytes, 2 around the extra
    // pulse and the pause after it.
    EXPECT_EQ(yields, 32 * (4 * 16 + 3 + 2 + 1));
    ClosePort();
    sim::Uninstall();
  }
  Open("port=COM2");
  uint8_t b = 0;
  EXPECT_EQ(ReadFlashByte(0x0000, &b), 0);
  EXPECT_EQ(b, 0xFF);
  EXPECT_EQ(WriteFlashByte(0x01FE, 0x00), 0);  // an echo of all ones passes only where expected
  EXPECT_EQ(WriteFlashByte(0x0100, 0x00), kNoAnswer);
}

TEST_F(InstructionsTest, EraseThenAWhole8KiBPatternRoundTrips) {
  OpenInProgramming("serial=OLDSERIAL");
  ASSERT_EQ(EraseChip(), 0);
  EXPECT_EQ(device->Flash(), std::vector<uint8_t>(8192, 0xFF));
  std::mt19937 rng(7);
  std::vector<uint8_t> pattern(8192);
  for (uint8_t& b : pattern) b = uint8_t(rng());
  for (int a = 0; a < 8192; ++a) ASSERT_EQ(WriteFlashByte(a, pattern[a]), 0) << a;
  EXPECT_EQ(device->Flash(), pattern);
  for (int a = 0; a < 8192; ++a) {
    uint8_t b = 0;
    ASSERT_EQ(ReadFlashByte(a, &b), 0);
    ASSERT_EQ(b, pattern[a]) << a;
  }
  EXPECT_EQ(device->ProtocolViolations(), 0u);
  EXPECT_EQ(ReadFlashByte(0, nullptr), kReadNoBuffer);
}

TEST_F(InstructionsTest, AWriteWhoseEchoIsWrongFailsWithoutRetry) {
  OpenInProgramming("failwrite=0104");
  EXPECT_EQ(WriteFlashByte(0x0104, 0x42), kNoAnswer);
  EXPECT_EQ(device->Frames().size(), 1u);
  EXPECT_EQ(device->Flash()[0x0104], 0xFF);
}

TEST_F(InstructionsTest, ALockedChipReadsAFixedValueAndIgnoresWritesUntilErased) {
  OpenInProgramming("lockread=00");
  ASSERT_EQ(WriteFlashByte(0x0010, 0x5A), 0);
  EXPECT_EQ(LockAndRun(), 0);
  EXPECT_EQ(device->ControlLevel(), 1);
  EXPECT_TRUE(device->Locked());
  EXPECT_TRUE(device->Dtr());
  EXPECT_TRUE(device->Rts());
  ASSERT_EQ(EnterProgrammingMode(), 0);
  uint8_t b = 0xEE;
  EXPECT_EQ(ReadFlashByte(0x0010, &b), 0);
  EXPECT_EQ(b, 0x00);
  WriteFlashByte(0x0011, 0x00);
  EXPECT_EQ(device->Flash()[0x0011], 0xFF);
  ASSERT_EQ(EraseChip(), 0);
  EXPECT_FALSE(device->Locked());
  EXPECT_EQ(ReadFlashByte(0x0010, &b), 0);
  EXPECT_EQ(b, 0xFF);
  uint8_t sig[3] = {0, 0, 0};
  EXPECT_EQ(ReadSignature(sig), 0);
  EXPECT_EQ(sig[0] << 16 | sig[1] << 8 | sig[2], 0x1E9301);
  EXPECT_EQ(ReadSignature(nullptr), kReadNoBuffer);
}

// Nothing answers the lock frame, so nothing can fail: the whole frame still
// goes out, then 22 ms, then the release, leaving DTR, RTS and the break set.
TEST_F(InstructionsTest, LockAndRunSucceedsWithNothingConnected) {
  Open("nodevice");
  cycle_trace::Begin();
  g_hPort = cycle_trace::Wrap("COM1", std::unique_ptr<plat::SerialPort>(g_hPort)).release();
  int64_t t0 = plat::NowUs();
  EXPECT_EQ(LockAndRun(), 0);
  EXPECT_EQ(plat::NowUs() - t0, 24000);
  cycle_trace::End();
  std::vector<TraceStep> steps = cycle_trace::Steps();
  int pulses = 0;
  for (const TraceStep& s : steps) pulses += s.op == TraceOp::kBreak && s.value == 0;
  EXPECT_EQ(pulses, 32);
  ASSERT_GE(steps.size(), 7u);
  std::vector<std::pair<TraceOp, int>> tail;
  for (size_t i = steps.size() - 7; i < steps.size(); ++i) tail.push_back({steps[i].op, steps[i].value});
  EXPECT_EQ(tail, (std::vector<std::pair<TraceOp, int>>{{TraceOp::kPause, 22},
                                                        {TraceOp::kDtr, 1},
                                                        {TraceOp::kRts, 1},
                                                        {TraceOp::kPause, 1},
                                                        {TraceOp::kRts, 0},
                                                        {TraceOp::kPause, 1},
                                                        {TraceOp::kRts, 1}}));
}

}  // namespace
