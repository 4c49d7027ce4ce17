#include "cycle/cycle_estimate.h"

#include "isp/bit_link.h"

namespace {

constexpr int64_t kFrameOperations = 4 * kByteLineOperations;
// Fast mode on a slow port: every clock pulse (64), the status reads of the
// one answer byte (8), and the data line only where a bit differs from the
// one before it (about 9 of 32 in address and image frames).
constexpr int64_t kFastFrameOperations = 64 + 8 + 9;
constexpr int64_t kRecordBytes = 24;

}  // namespace

int64_t EstimateFromEraseUs(int64_t op, const HexCheck& image, bool verify, bool fast, bool outlast) {
  const int64_t frame = (fast ? kFastFrameOperations : kFrameOperations) * op;
  // A written byte: its frame, then the fixed pause, or in fast mode one
  // read-back, left to Verify when the next frame outlasts the write.
  const int64_t write = frame + (!fast ? 6000 : outlast && verify ? 0 : frame);
  const int64_t read = frame + (fast ? 0 : 1000);
  // Around the image: the second entry, the erase with the entry after it and
  // the signature (six frames), the lock (one); seven strobes and a break
  // change (25 operations) and 103 ms of pauses.
  int64_t us = 7 * frame + 25 * op + 103000;
  int64_t passes = verify ? 2 : 1;
  us += passes * image.marks * 1000;  // each record's progress text
  us += (image.writes + kRecordBytes) * write;
  us += ((verify ? image.bytes : 0) + kRecordBytes) * read;
  return us;
}
