// The fast mode against parts that write at different speeds and against the
// faults a line meets: whatever the part does, a cycle that ends in success
// has left exactly the image and the record on a locked device.
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <set>

#include "fault/station.h"
#include "isp/fast_mode.h"
#include "platform/clock.h"
#include "sim/sim.h"

namespace {

// 48 bytes with an erased cell and three that read like a busy cell, two of
// them in a row.
std::vector<uint8_t> SmallImage() {
  std::vector<uint8_t> image(48);
  for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i * 37 + 11);
  image[5] = 0xFF;
  image[9] = image[10] = image[30] = 0x7F;
  return image;
}

class FastMode : public ::testing::Test {
 protected:
  void SetUp() override { SetFastMode(true); }
  void TearDown() override {
    SetFastMode(false);
    ResetGlobals();
  }
  fault::Station station_{TempDir("fast"), SmallImage()};
};

bool IsRead(const sim::Frame& f, int address) {
  return (f.bytes[0] == 0x20 || f.bytes[0] == 0x28) && f.bytes[0] == ((address & 1) ? 0x28 : 0x20) &&
         f.bytes[1] == ((address >> 9) & 0xFF) && f.bytes[2] == ((address >> 1) & 0xFF);
}
bool IsWrite(const sim::Frame& f, int address) {
  return f.bytes[0] == ((address & 1) ? 0x48 : 0x40) && f.bytes[1] == ((address >> 9) & 0xFF) &&
         f.bytes[2] == ((address >> 1) & 0xFF);
}

// Parts faster and slower than the fixed pause, and ones whose write time
// varies per byte, up to the family's longest: all programmed, 0x7F bytes
// included.
TEST_F(FastMode, PartsOfEveryWriteTimeUpToTheLimitAreProgrammed) {
  for (std::string busy : {"busy=1", "busy=4", "busy=5", "busy=6", "busy=8", "busy=9", "busy=1-9,seed=7",
                           "busy=3-9,seed=99", "busy=1-6,seed=5", "busy=12,lineop=150", "busy=1-18,lineop=300"}) {
    station_.NewDevice(kSerial);
    fault::Outcome o = station_.Cycle(busy, true);
    EXPECT_TRUE(o.success) << busy << ": " << o.finalText;
    EXPECT_TRUE(o.breaches.empty()) << busy << ": " << o.breaches.front();
  }
}

// Through an adapter whose every line operation is a 1 ms round trip: the
// default cycle makes exactly the line operations it makes on a UART, and the
// fast one, sparing what changes nothing, programs the image in well under
// the default's time per byte.
TEST_F(FastMode, ThroughASlowAdapterTheDefaultKeepsEveryLineOperationAndFastSparesWhatChangesNothing) {
  auto run = [this](bool fast, const std::string& items, sim::LineCounts* counts) {
    SetFastMode(fast);
    station_.NewDevice(kSerial);
    fault::Outcome o = station_.Cycle(items, true);
    EXPECT_TRUE(o.success) << items << ": " << o.finalText;
    EXPECT_TRUE(o.breaches.empty()) << items << ": " << o.breaches.front();
    *counts = o.lines;
    // What the runner said before the erase of how long the cycle would take.
    double tookUs = double(o.frames.back().timeUs - o.frames.front().timeUs);
    if (o.report.link.slow) {
      EXPECT_NEAR(double(o.report.link.cycleUs), tookUs, 0.05 * tookUs) << items;
    }
    // From the first byte's write to the record's: the image written and verified.
    int64_t from = -1, to = -1;
    for (const sim::Frame& f : o.frames) {
      if (from < 0 && IsWrite(f, 0)) from = f.timeUs;
      if (to < 0 && IsWrite(f, 0x1FE8)) to = f.timeUs;
    }
    return to - from;
  };
  sim::LineCounts uart, slow, fast;
  run(false, "", &uart);
  int64_t slowUs = run(false, "lineop=1000", &slow);
  EXPECT_EQ(std::vector<uint64_t>({uart.dtr, uart.rts, uart.brk, uart.cts}),
            std::vector<uint64_t>({slow.dtr, slow.rts, slow.brk, slow.cts}));
  int64_t fastUs = run(true, "lineop=1000,busy=1-15,seed=3", &fast);
  EXPECT_LT(fast.total(), slow.total() * 2 / 3);
  EXPECT_LT(double(fastUs), 0.65 * double(slowUs));
}

// The point of the mode: a byte costs what the part needs, not the fixed
// 6 ms, and reads are back to back.
TEST_F(FastMode, AByteTakesThePartsWriteTimeAndReadsHaveNoPause) {
  station_.NewDevice(kSerial);
  fault::Outcome o = station_.Cycle("busy=2", true);
  ASSERT_TRUE(o.success) << o.finalText;
  // The writes of bytes 0 and 1 (neither is 0x7F or 0xFF) lie about 2 ms apart.
  int64_t w0 = -1, w1 = -1;
  for (const sim::Frame& f : o.frames) {
    if (w0 < 0 && IsWrite(f, 0)) w0 = f.timeUs;
    if (w1 < 0 && IsWrite(f, 1)) w1 = f.timeUs;
  }
  ASSERT_GE(w0, 0);
  ASSERT_GT(w1, w0);
  EXPECT_GE(w1 - w0, 2000);
  EXPECT_LE(w1 - w0, 2000 + kPollGapUs);
  // Verify reads of bytes 0..3 happen at one instant of the virtual clock.
  std::vector<int64_t> verifyReads;
  bool programmed = false;
  for (const sim::Frame& f : o.frames) {
    if (IsWrite(f, 47)) programmed = true;
    if (programmed && verifyReads.size() < 4 && IsRead(f, int(verifyReads.size()))) verifyReads.push_back(f.timeUs);
  }
  ASSERT_EQ(verifyReads.size(), 4u);
  EXPECT_EQ(verifyReads.front(), verifyReads.back());
}

// 0x7F cannot be told from busy: it waits the family's longest write time and
// is then read once, so that two in a row on a part slower than the default
// cycle's pause are both written, even without Verify.
TEST_F(FastMode, ABusyLookingByteWaitsTheLongestWriteTimeAndIsReadBack) {
  for (const char* busy : {"busy=5", "busy=8", "busy=9"}) {
    station_.NewDevice(kSerial);
    fault::Outcome o = station_.Cycle(busy, false);
    EXPECT_TRUE(o.success) << busy << ": " << o.finalText;
    EXPECT_TRUE(o.breaches.empty()) << busy << ": " << o.breaches.front();
    for (size_t i = 0; i + 1 < o.frames.size(); ++i)
      if (IsWrite(o.frames[i], 9)) {
        EXPECT_TRUE(IsRead(o.frames[i + 1], 9)) << busy;
        EXPECT_EQ(o.frames[i + 1].timeUs - o.frames[i].timeUs, kPollLimitUs) << busy;
      }
  }
}

// A part still busy after the limit has failed the write, at that byte.
TEST_F(FastMode, APartSlowerThanTheLimitFailsAtTheFirstByte) {
  station_.NewDevice(kSerial);
  fault::Outcome o = station_.Cycle("busy=10", true);
  EXPECT_EQ(o.finalText, "Programming Failed at 0x0000 .");
  EXPECT_TRUE(o.breaches.empty()) << o.breaches.front();
  EXPECT_EQ(station_.DeviceSerial(), "");  // erased, the serial kept by the station
  o = station_.Cycle("", true);
  EXPECT_TRUE(o.success) << o.finalText;
  EXPECT_EQ(station_.DeviceSerial(), kSerial);
}

// The record's length and checksum are polled like any byte, but only the
// read-back of the whole record decides.
TEST_F(FastMode, TheRecordsLengthIsPolledButItsReadBackDecides) {
  station_.NewDevice(kSerial);
  fault::Outcome o = station_.Cycle("busy=3", true);
  ASSERT_TRUE(o.success) << o.finalText;
  size_t i = 0;
  while (i < o.frames.size() && !IsWrite(o.frames[i], 0x1FE8)) ++i;
  ASSERT_LT(i + 1, o.frames.size());
  EXPECT_TRUE(IsRead(o.frames[i + 1], 0x1FE8));

  // A length cell that never reads back is not a failed write by itself: the
  // characters still go out, and the record's read-back fails the cycle.
  station_.NewDevice(kSerial);
  o = station_.Cycle("badread=1FE8", true);
  EXPECT_EQ(o.finalText, "Writing Serial Number failed.");
  bool charactersWritten = false;
  for (const sim::Frame& f : o.frames) charactersWritten |= IsWrite(f, 0x1FE9);
  EXPECT_TRUE(charactersWritten);
}

// Sweeps: a wrong answer, a wrong read-back or a device gone at any point,
// with a part whose write time varies. Success is claimed only for a device
// that holds the image and the record; a failed cycle is recovered by the
// next one with the device's own serial number.
TEST_F(FastMode, FailwriteAndBadreadSweepsNeverEndInAWrongSuccess) {
  std::vector<int> addresses;
  for (int a = 0; a < 48; ++a) addresses.push_back(a);
  for (int a = 0x1FE8; a <= 0x1FFF; ++a) addresses.push_back(a);
  char item[64];
  for (const char* kind : {"failwrite", "badread"})
    for (bool verify : {false, true})
      for (int a : addresses) {
        // Every fourth through an adapter slow enough that writes are not polled.
        std::snprintf(item, sizeof item, "%s=%X,busy=2-9,seed=%d%s", kind, a, a, a % 4 == 1 ? ",lineop=300" : "");
        station_.NewDevice(kSerial);
        fault::Outcome o = station_.Cycle(item, verify);
        for (const std::string& b : o.breaches) ADD_FAILURE() << item << (verify ? " verify: " : ": ") << b;
        uint8_t value = a < 48 ? SmallImage()[size_t(a)] : 0;
        bool programmed = a < 48 && value != 0xFF;
        // A cell that does not take its write, or does not read back as
        // written, can never be part of a success, 0x7F or not.
        if (programmed || a >= 0x1FE8) {
          EXPECT_FALSE(o.success) << item;
        }
        if (o.success) continue;
        fault::Outcome next = station_.Cycle("busy=2-9", true);
        EXPECT_TRUE(next.success) << item << ": next cycle " << next.finalText;
        EXPECT_EQ(station_.DeviceSerial(), kSerial) << item;
      }
}

TEST_F(FastMode, VanishSweepNeverEndsInAWrongSuccess) {
  station_.NewDevice(kSerial);
  fault::Outcome clean = station_.Cycle("busy=1", true);
  ASSERT_TRUE(clean.success) << clean.finalText;
  const size_t frames = clean.frames.size();
  std::map<size_t, std::set<std::string>> breaches;
  for (size_t k = 1; k <= frames; ++k) {
    station_.NewDevice(kSerial);
    fault::Outcome o = station_.Cycle("busy=1,vanish=" + std::to_string(k), true);
    for (const std::string& b : o.breaches) breaches[k].insert(b);
    if (o.success) continue;
    fault::Outcome next = station_.Cycle("busy=1", true);
    if (!next.success) breaches[k].insert("next cycle failed: " + next.finalText);
    if (station_.DeviceSerial() != kSerial) breaches[k].insert("serial number lost");
  }
  // As in the default cycle: the final Write Lock Bits is never answered.
  std::map<size_t, std::set<std::string>> known = {{frames - 1, {"success unlocked"}}};
  EXPECT_EQ(breaches, known);
  std::cout << "fast vanish sweep: " << frames << " frames\n";
}

}  // namespace
