// The listener's scan over arbitrary received bytes. The input lies in a
// buffer of exactly its size, so any read past the bytes received is caught;
// a frame may be taken only when its length byte and whole payload lie inside
// the read, and the listener's copy of it must fit the serial-number buffer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cycle/frame_scan.h"

namespace {

[[noreturn]] void Fail(const char* what, long a = 0, long b = 0) {
  std::fprintf(stderr, "frame_scan_fuzz: %s (%ld, %ld)\n", what, a, b);
  std::abort();
}

struct Expected {
  int requests = 0;
  long offset = -1;
  long length = 0;
};

// DLE pairs from the first byte: 7F a request, E0..EF a frame when whole,
// anything else skipped with its DLE; a lone trailing DLE or a cut frame ends
// the read.
Expected Reference(const std::vector<uint8_t>& b) {
  Expected e;
  size_t i = 0;
  while (i < b.size()) {
    if (b.at(i) != 0x10) {
      ++i;
      continue;
    }
    if (i + 1 == b.size()) break;
    uint8_t kind = b.at(i + 1);
    if (kind == 0x7F) {
      ++e.requests;
      i += 2;
      continue;
    }
    if ((kind & 0xF0) == 0xE0) {
      if (i + 2 == b.size()) break;
      size_t length = size_t(b.at(i + 2)) + 1;
      if (i + 3 + length > b.size()) break;
      e.offset = long(i + 3);
      e.length = long(length);
      break;
    }
    i += 2;
  }
  return e;
}

void CountRequest(void* ctx) { ++*static_cast<int*>(ctx); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  std::vector<uint8_t> bytes(data, data + size);
  int answered = 0;
  FrameScanResult r = ScanFrames(bytes.data(), int(size), CountRequest, &answered);
  Expected e = Reference(bytes);
  if (r.requests != answered) Fail("requests counted and answered differ", r.requests, answered);
  if (r.requests != e.requests) Fail("requests", r.requests, e.requests);
  if (r.payloadOffset != e.offset) Fail("frame offset", r.payloadOffset, e.offset);
  if (r.payloadOffset < 0) return 0;
  if (r.payloadLength != e.length) Fail("frame length", r.payloadLength, e.length);
  if (r.payloadOffset < 3 || long(r.payloadOffset) + r.payloadLength > long(size))
    Fail("frame outside the read", r.payloadOffset, r.payloadLength);
  // What the listener then does with it.
  static uint8_t serial[256];
  if (size_t(r.payloadLength) > sizeof serial) Fail("frame larger than the serial-number buffer", r.payloadLength);
  std::memcpy(serial, bytes.data() + r.payloadOffset, size_t(r.payloadLength));
  return 0;
}
