#include <gtest/gtest.h>

#include "cycle/frame_scan.h"

namespace {

using Bytes = std::vector<uint8_t>;

FrameScanResult Scan(const Bytes& b, int* requests = nullptr) {
  int count = 0;
  FrameScanResult r = ScanFrames(b.data(), int(b.size()), [](void* c) { ++*static_cast<int*>(c); }, &count);
  if (requests) *requests = count;
  return r;
}

TEST(FrameScanTest, AFrameOfAnyTypeE0ToEFIsTaken) {
  for (int type = 0xE0; type <= 0xEF; ++type) {
    FrameScanResult r = Scan({0x00, 0x10, uint8_t(type), 0x01, 'A', 'B', 0x10, 0xE0, 0x00, 'C'});
    EXPECT_EQ(r.payloadOffset, 4);
    EXPECT_EQ(r.payloadLength, 2);  // the first of two frames
  }
  EXPECT_EQ(Scan({0x10, 0xDF, 0x00, 'A'}).payloadOffset, -1);
  EXPECT_EQ(Scan({0x10, 0xF0, 0x00, 'A'}).payloadOffset, -1);
}

TEST(FrameScanTest, RequestsAreAnsweredInOrderAndTheFrameAfterThemTaken) {
  int requests = 0;
  FrameScanResult r = Scan({0x10, 0x7F, 0x10, 0x7F, 0x10, 0xE3, 0x00, 'Z'}, &requests);
  EXPECT_EQ(requests, 2);
  EXPECT_EQ(r.payloadOffset, 7);
}

TEST(FrameScanTest, DleDleIsSkippedAsAPair) {
  EXPECT_EQ(Scan({0x10, 0x10, 0xE3, 0x00, 'A'}).payloadOffset, -1);
  EXPECT_EQ(Scan({0x10, 0x10, 0x10, 0xE3, 0x00, 'A'}).payloadOffset, 5);
}

TEST(FrameScanTest, NothingBeyondTheReadIsTaken) {
  EXPECT_EQ(Scan({'x', 0x10}).payloadOffset, -1);                 // trailing DLE
  EXPECT_EQ(Scan({0x10, 0xE0}).payloadOffset, -1);                // no length byte
  EXPECT_EQ(Scan({0x10, 0xE0, 0x03, 'A', 'B', 'C'}).payloadOffset, -1);  // one payload byte short
  EXPECT_EQ(Scan({0x10, 0xE0, 0xFF}).payloadOffset, -1);
  Bytes full(3 + 256, 'x');
  full[0] = 0x10, full[1] = 0xE0, full[2] = 0xFF;
  FrameScanResult r = Scan(full);
  EXPECT_EQ(r.payloadOffset, 3);
  EXPECT_EQ(r.payloadLength, 256);
  EXPECT_EQ(Scan({}).payloadOffset, -1);
  // Bytes left in the buffer from an earlier, longer read are not this read:
  // a DLE at its end asks nothing, even with 0x7F after it in memory.
  Bytes stale = {'x', 0x10, 0x7F, 0x10, 0xE0, 0x00, 'A'};
  int requests = 0;
  r = ScanFrames(stale.data(), 2, [](void* c) { ++*static_cast<int*>(c); }, &requests);
  EXPECT_EQ(requests, 0);
  EXPECT_EQ(r.payloadOffset, -1);
}

}  // namespace
