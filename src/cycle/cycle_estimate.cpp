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
  // read-back, or nothing when the next frame outlasts the write.
  const int64_t write = frame + (!fast ? 6000 : outlast ? 0 : frame);
  const int64_t read = frame + (fast ? 0 : 1000);
  // Entry, erase, the second entry and the signature: six frames, three
  // strobes of three operations and about 75 ms of pauses; the lock the same
  // again in small.
  int64_t us = 7 * frame + 12 * op + 75000 + frame + 22000 + 3 * op;
  int64_t passes = verify ? 2 : 1;
  us += passes * image.marks * 1000;  // each record's progress text
  us += (image.writes + kRecordBytes) * write;
  us += ((verify ? image.bytes : 0) + kRecordBytes) * read;
  return us;
}
