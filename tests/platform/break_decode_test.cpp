#include <gtest/gtest.h>

#include "platform/break_decode.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(BreakDecodeTest, BreaksAreFoundWithoutLosingTheDataAroundThem) {
  plat::MarkDecoder d;
  Bytes raw = {0x41, 0xFF, 0x00, 0x00, 0x10, 0xE0, 0xFF, 0xFF, 0x42};
  Bytes out;
  EXPECT_EQ(plat::DecodeMarkedInput(&d, raw.data(), raw.size(), &out), 1);
  EXPECT_EQ(out, (Bytes{0x41, 0x10, 0xE0, 0xFF, 0x42}));
}

TEST(BreakDecodeTest, MarksSplitAcrossReadsAreJoined) {
  Bytes raw = {0x06, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x37};
  // Every split point gives the same result as one read.
  for (size_t cut = 0; cut <= raw.size(); ++cut) {
    plat::MarkDecoder d;
    Bytes out;
    int breaks = plat::DecodeMarkedInput(&d, raw.data(), cut, &out);
    breaks += plat::DecodeMarkedInput(&d, raw.data() + cut, raw.size() - cut, &out);
    EXPECT_EQ(breaks, 1) << "cut " << cut;
    EXPECT_EQ(out, (Bytes{0x06, 0xFF, 0x37})) << "cut " << cut;  // 0x37 came with an error mark
  }
}

TEST(BreakDecodeTest, UnexpectedMarksKeepBothBytes) {
  plat::MarkDecoder d;
  Bytes raw = {0xFF, 0x41};
  Bytes out;
  EXPECT_EQ(plat::DecodeMarkedInput(&d, raw.data(), raw.size(), &out), 0);
  EXPECT_EQ(out, (Bytes{0xFF, 0x41}));
}

}  // namespace
