// The scan of one read of the serial-number exchange. A pure function, so it
// can be tested and fuzzed alone: the caller answers requests and stores
// frames.
#pragma once

#include <cstdint>

struct FrameScanResult {
  int requests;        // 0x10 0x7F requests met before the frame (or the end)
  int payloadOffset;   // >= 0: a whole frame; its L+1 payload bytes start here
  int payloadLength;   // L + 1
};

// Scans n bytes from the first. A request fires onRequest at once, in order.
// A frame counts only when its length byte and all its payload lie inside the
// n bytes; a frame cut off by the end of the read ends the scan without one.
FrameScanResult ScanFrames(const uint8_t* bytes, int n, void (*onRequest)(void*), void* ctx);
