#include "cycle/frame_scan.h"

FrameScanResult ScanFrames(const uint8_t* bytes, int n, void (*onRequest)(void*), void* ctx) {
  FrameScanResult r{0, -1, 0};
  int i = 0;
  while (i < n) {
    if (bytes[i] != 0x10) {
      ++i;
      continue;
    }
    if (i + 1 >= n) break;  // a DLE as the last byte read starts nothing yet
    uint8_t kind = bytes[i + 1];
    if (kind == 0x7F) {
      ++r.requests;
      if (onRequest) onRequest(ctx);
      i += 2;
    } else if (kind >= 0xE0 && kind <= 0xEF) {
      // Taken only when it lies whole inside this read; a frame cut off by the
      // end of the read is dropped and the device asked again at its next break.
      if (i + 2 >= n) break;
      int length = bytes[i + 2] + 1;
      if (length > n - (i + 3)) break;
      r.payloadOffset = i + 3;
      r.payloadLength = length;
      return r;
    } else {
      i += 2;
    }
  }
  return r;
}
