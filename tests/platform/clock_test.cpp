#include <gtest/gtest.h>

#include <atomic>

#include "platform/clock.h"
#include "platform/thread.h"
#include "platform/thread_test_hooks.h"

namespace {

class VirtualClockTest : public ::testing::Test {
 protected:
  void SetUp() override { plat::UseVirtualClock(true); }
  void TearDown() override { plat::UseVirtualClock(false); }
};

TEST_F(VirtualClockTest, PausesAdvanceExactlyAndYieldsAreCountedNotSlept) {
  plat::ResetClockStats();
  int64_t t0 = plat::NowUs();
  plat::Sleep(6);
  plat::Sleep(0);
  plat::Sleep(0);
  EXPECT_EQ(plat::NowUs() - t0, 6000);
  plat::ClockStats s = plat::GetClockStats();
  EXPECT_EQ(s.yields, 2u);
  EXPECT_EQ(s.pauses, 1u);
  EXPECT_EQ(s.requestedPauseUs, 6000u);
}

TEST_F(VirtualClockTest, TimeWaitsForEveryParticipantThenJumpsToTheEarliestDeadline) {
  plat::ClockParticipant me;
  auto event = plat::Event::Create();
  std::atomic<int64_t> setAt{-1};
  int64_t t0 = plat::NowUs();
  auto worker = plat::Thread::Start([&] {
    plat::Sleep(10);
    setAt = plat::NowUs() - t0;
    event->Set();
    plat::Sleep(50);
  });
  ASSERT_TRUE(worker);
  EXPECT_TRUE(event->Wait(3000));
  EXPECT_EQ(plat::NowUs() - t0, 10000);
  EXPECT_EQ(setAt.load(), 10000);
  worker->Join();
  EXPECT_EQ(plat::NowUs() - t0, 60000);
}

TEST_F(VirtualClockTest, TimedWaitsEndAtTheirDeadline) {
  auto event = plat::Event::Create();
  int64_t t0 = plat::NowUs();
  EXPECT_FALSE(event->Wait(3000));
  EXPECT_EQ(plat::NowUs() - t0, 3000000);

  // Outside the clock's calls this thread does not hold time back: without
  // taking part, the sleeper's 100 ms could pass before JoinFor starts.
  plat::ClockParticipant me;
  auto sleeper = plat::Thread::Start([] { plat::Sleep(100); });
  EXPECT_FALSE(sleeper->JoinFor(10));
  EXPECT_TRUE(sleeper->JoinFor(1000));
  EXPECT_EQ(plat::RunningThreadCount(), 0);
}

TEST(ThreadTest, CreationFailuresCanBeInjected) {
  plat::FailNextThreadStarts(1);
  EXPECT_EQ(plat::Thread::Start([] {}), nullptr);
  auto ok = plat::Thread::Start([] {});
  ASSERT_TRUE(ok);
  ok->Join();
  plat::FailNextEventCreates(1);
  EXPECT_EQ(plat::Event::Create(), nullptr);
  EXPECT_NE(plat::Event::Create(), nullptr);
}

TEST(RealClockTest, PausesLastAtLeastWhatTheyAsk) {
  int64_t t0 = plat::NowUs();
  plat::Sleep(2);
  EXPECT_GE(plat::NowUs() - t0, 2000);
}

}  // namespace
