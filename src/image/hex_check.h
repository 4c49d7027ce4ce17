// Whether an Intel-HEX text is an image this programmer may write into the
// device, decided before any device is touched.
//
// Usable: lines without ':' are ignored (CR, LF or CR LF end a line); every
// ':' starts a well-formed record `:LLAAAATT<data>CC` (hex digits of either
// case, the length its byte count asks for, a checksum that sums the record to
// zero) that ends its line, blanks and tabs aside; exactly one end record (01,
// no data) and no record after it, the end-of-file character 0x1A and NULs
// allowed after it; data records (00) put bytes at 0x0000 to 0x1FE7, an
// address given again only with the same byte, or 0xFF into the serial-number
// record 0x1FE8..0x1FFF (which an erased chip holds anyway); address records
// (02, 04) only with a zero base; start-address records (03, 05) are
// accepted. Nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int kHexUnusable = -8;  // the text is not an image this programmer writes

struct HexCheck {
  long line = 0;       // 1-based line of the first fault; 0 for the file as a whole
  std::string what;    // that fault, for the operator; empty when usable
  bool empty = false;  // usable, but no data byte other than 0xFF
  int32_t marks = 0;   // ':' in the text, the passes' progress denominator
  int32_t bytes = 0;   // flash cells the image gives, each once: what Verify reads
  int32_t writes = 0;  // those that are not 0xFF: what programming writes
};

// 0 when the text is usable, else kHexUnusable with line and what filled.
int CheckHexText(const uint8_t* text, size_t size, HexCheck* check);
