// The serial-number request over a scripted port, traced: firmware that keeps
// sending breaks but never a frame, and break waits that fail, both until or
// before the 3000 ms limit, with the listener's 5 ms re-arms.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <mutex>

#include "cycle/device_serial.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "state/shared_state.h"
#include "support/cycle_trace.h"
#include "support/test_support.h"

namespace {

using namespace expect;

// A port whose receive line brings a break every `periodUs` from `firstUs`
// after it is made; the first `failingWaits` break waits fail at once; each
// read returns the next scripted reply (or nothing).
class ScriptedPort : public QuietPort {
 public:
  ScriptedPort(int64_t firstUs, int64_t periodUs, int failingWaits, std::deque<std::vector<uint8_t>> replies)
      : next_(plat::NowUs() + firstUs),
        period_(periodUs),
        failingWaits_(failingWaits),
        replies_(std::move(replies)) {}
  bool ArmBreakWait() override {
    // Breaks that came while nobody waited are not reported.
    while (next_ <= plat::NowUs()) next_ += period_;
    return true;
  }
  int WaitBreak() override {
    if (failingWaits_ > 0) {
      --failingWaits_;
      return kBreakWaitEnded;
    }
    if (plat::WaitUntil(next_, [this] { return cancelled_.load(); })) return kBreakWaitCancelled;
    next_ += period_;
    return kBreakArrived;
  }
  void CancelWait() override {
    cancelled_.store(true);
    plat::Notify();
  }
  void ResetCancel() override { cancelled_.store(false); }
  int Read(uint8_t* buf, int max) override {
    std::lock_guard<std::mutex> g(m_);
    if (replies_.empty()) return 0;
    std::vector<uint8_t> r = replies_.front();
    replies_.pop_front();
    int n = std::min(int(r.size()), max);
    std::copy(r.begin(), r.begin() + n, buf);
    return n;
  }

 private:
  int64_t next_;
  int64_t period_;
  int failingWaits_;
  std::mutex m_;
  std::deque<std::vector<uint8_t>> replies_;
  std::atomic<bool> cancelled_{false};
};

class ListenerTraceTest : public ::testing::Test {
 protected:
  void SetUp() override { plat::UseVirtualClock(true); }
  void TearDown() override {
    cycle_trace::End();
    delete g_hPort;
    g_hPort = nullptr;
    ResetGlobals();
    plat::UseVirtualClock(false);
  }
  int Request(ScriptedPort* port) {
    g_hPort = cycle_trace::Wrap("COM1", std::unique_ptr<plat::SerialPort>(port)).release();
    cycle_trace::Begin();
    int r;
    {
      // Takes part in the virtual clock for the whole request, as the cycle's
      // own thread does, so time cannot run on while it cancels the listener.
      plat::ClockParticipant participant;
      start = plat::NowUs();
      r = ReadDeviceSerial();
      end = plat::NowUs();
    }
    cycle_trace::End();
    EXPECT_EQ(plat::RunningThreadCount(), 0);
    return r;
  }
  TraceItem Answered(int bytesRead) {
    return Seq({Arm(), Wait(1), Brk(1), Pause(1), Brk(0), Pause(1), Tx(0x06), Pause(8), Read(bytesRead)});
  }
  int64_t start = 0, end = 0;
};

// Breaks at 20 ms and every 100 ms, never a byte: each is answered, read,
// and followed by 5 ms before the wait is armed again, until the limit.
TEST_F(ListenerTraceTest, BreaksWithoutAFrameUntilTheLimit) {
  EXPECT_EQ(Request(new ScriptedPort(20000, 100000, 0, {})), kSerialNoFrame);
  EXPECT_EQ(end - start, 3000000);
  std::string diff =
      CompareTraces(ExpandTrace({Repeat(30, {Answered(0), Pause(5)}), Arm(), Wait(-1)}), cycle_trace::Steps());
  EXPECT_EQ(diff, "");
  std::vector<TraceStep> steps = cycle_trace::Steps();
  ASSERT_FALSE(steps.empty());
  EXPECT_EQ(steps[1].timeUs - start, 20000);  // the first break
}

// A read without a frame, and waits that fail, are each followed by 5 ms and
// a fresh wait; the frame that comes next is taken.
TEST_F(ListenerTraceTest, FailedWaitsAndAnEmptyReadAreRetriedAfter5ms) {
  std::vector<uint8_t> frame = {0x10, 0xE3, 0x02, 'A', 'B', 'C'};
  EXPECT_EQ(Request(new ScriptedPort(20000, 100000, 2, {{0x55, 0x10}, frame})), 0);
  std::string diff =
      CompareTraces(ExpandTrace({Arm(), Wait(0), Pause(5), Arm(), Wait(0), Pause(5), Answered(2), Pause(5),
                                 Answered(6)}),
                    cycle_trace::Steps());
  EXPECT_EQ(diff, "");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(g_deviceSerial), 3), "ABC");
  EXPECT_EQ(end - start, 130000);  // taken in the read after the second break
}

// A break answered just before the limit: the listener stops where the limit
// finds it, inside the break pulse's pause or inside the fourth answer to
// ten 10 7F requests, and touches the port no more; the request ends at the
// limit.
TEST_F(ListenerTraceTest, NothingReachesThePortAfterTheLimit) {
  std::vector<uint8_t> requests;
  for (int i = 0; i < 10; ++i) requests.insert(requests.end(), {0x10, 0x7F});
  TraceItem answer = Seq({Brk(1), Pause(1), Brk(0), Pause(1), Tx(0x10), Pause(1), Tx(0x31)});
  struct {
    int64_t breakUs;
    TraceBlock expected;
  } cases[] = {{2998500, {Arm(), Wait(1), Brk(1), Pause(1), Brk(0), Pause(1)}},
               {2980500, {Answered(20), Repeat(3, {answer}), Brk(1), Pause(1)}}};
  for (const auto& c : cases) {
    EXPECT_EQ(Request(new ScriptedPort(c.breakUs, 100000, 0, {requests})), kSerialNoFrame);
    EXPECT_EQ(end - start, 3000000);
    EXPECT_EQ(CompareTraces(ExpandTrace(c.expected), cycle_trace::Steps()), "") << c.breakUs;
    TearDown();
    SetUp();
  }
}

}  // namespace
