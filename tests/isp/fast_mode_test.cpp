// Data polling against the simulated part when the programmer itself is held
// up: a preempted process must not take a finished write for a failed one.
#include <gtest/gtest.h>

#include "isp/fast_mode.h"
#include "isp/forwarding_port.h"
#include "isp/instructions.h"
#include "isp/port.h"
#include "platform/clock.h"
#include "sim/sim.h"
#include "state/shared_state.h"
#include "support/test_support.h"

namespace {

// Passes everything through, and after the n-th CTS sample holds the caller
// for a while, as a scheduler would a preempted programmer.
class StallingPort : public ForwardingPort {
 public:
  StallingPort(plat::SerialPort* inner, int stallAfterSample, unsigned stallMs)
      : ForwardingPort(inner), left_(stallAfterSample), stallMs_(stallMs) {}
  bool GetCts(bool* asserted) override {
    bool ok = inner_->GetCts(asserted);
    if (--left_ == 0) plat::Sleep(stallMs_);
    return ok;
  }

 private:
  int left_;
  unsigned stallMs_;
};

class FastModeLink : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFastMode(true);
    InstallSim("busy=4");
    ASSERT_EQ(OpenPort("COM1"), 0);
    ASSERT_EQ(EnterProgrammingMode(), 0);
  }
  void TearDown() override {
    if (real_) g_hPort = real_;
    ClosePort();
    sim::Uninstall();
    SetFastMode(false);
  }
  // From now on the port stalls once, after the given CTS sample.
  void StallAfterSample(int sample, unsigned ms) {
    real_ = g_hPort;
    stalling_.reset(new StallingPort(real_, sample, ms));
    g_hPort = stalling_.get();
  }
  plat::SerialPort* real_ = nullptr;
  std::unique_ptr<StallingPort> stalling_;
};

// Held up for longer than the limit right after a read that still saw the
// part busy: the part has long finished, and one more read says so.
TEST_F(FastModeLink, AStallPastTheLimitIsFollowedByOneMoreRead) {
  const int kFrameSamples = 32;  // one CTS sample per bit of a 4-byte frame
  StallAfterSample(2 * kFrameSamples, 12);  // the end of the first poll read
  int64_t t0 = plat::NowUs();
  EXPECT_EQ(WriteFlashByte(0x0010, 0x5A), 0);
  EXPECT_GE(plat::NowUs() - t0, 12000);
  EXPECT_EQ(sim::TheDevice()->Flash()[0x0010], 0x5A);
}

// The same stall on a byte the part never takes still fails it.
TEST_F(FastModeLink, AStallDoesNotHideAByteThatNeverReadsAsWritten) {
  ClosePort();
  sim::Uninstall();
  InstallSim("busy=4,badread=10");
  ASSERT_EQ(OpenPort("COM1"), 0);
  ASSERT_EQ(EnterProgrammingMode(), 0);
  StallAfterSample(64, 12);
  EXPECT_EQ(WriteFlashByte(0x0010, 0x5A), kNoAnswer);
}

}  // namespace
