// Firmware images drawn at random, each with the flash it must leave: any
// length and place, gaps, runs of 0x7F (which reads like a busy cell) and
// 0xFF (which is never written), records of any size in any order, and the
// harmless variations real tool chains write (lower case, other line ends,
// blanks after a record, address and start records, an end-of-file
// character or NULs after the end record, a record given twice).
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

struct DrawnImage {
  std::vector<uint8_t> flash;  // 0x0000..0x1FE7 as the image leaves it (0xFF where it sets nothing)
  std::string hex;
  std::string shape;  // what was drawn, for a failure message
  int writes = 0;     // bytes the link must write (not 0xFF), repeats included
  int reads = 0;      // data bytes a verifying pass reads back
  bool holdsBusyLooking = false;  // a 0x7F is written
};

DrawnImage DrawImage(std::mt19937_64& rng);
