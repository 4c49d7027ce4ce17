// The listener's buffer is full after a 256-byte read; a scan that looks one
// byte past the read there reads past the buffer. Here the read ends at an
// inaccessible page, so such a look crashes the test.
#include <gtest/gtest.h>

#include "cycle/frame_scan.h"
#include "support/guarded_bytes.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(FrameScanPosixTest, NothingPastTheReadIsEverLookedAt) {
  GuardedBytes memory;
  ASSERT_TRUE(memory.Ready());
  struct Case {
    Bytes read;
    int requests, offset;
  } cases[] = {
      {{'x', 0x10}, 0, -1},
      {{0x10, 0xE0}, 0, -1},
      {{0x10, 0x7F, 0x10, 0xE5}, 1, -1},
      {{0x10, 0xE0, 0x02, 'A', 'B'}, 0, -1},
      {{0x10, 0x7F}, 1, -1},
      {{0x10, 0x10}, 0, -1},
      {{0x10, 0xE0, 0x01, 'A', 'B'}, 0, 3},
  };
  for (const Case& c : cases) {
    int requests = 0;
    FrameScanResult r = ScanFrames(memory.Place(c.read), int(c.read.size()),
                                   [](void* n) { ++*static_cast<int*>(n); }, &requests);
    EXPECT_EQ(requests, c.requests) << c.read.size();
    EXPECT_EQ(r.payloadOffset, c.offset) << c.read.size();
  }
}

}  // namespace
