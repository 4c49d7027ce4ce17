// How long a cycle takes through a port whose line operations are slow (a
// USB-serial adapter), told to the operator before the erase, when a wrong
// guess still costs nothing.
#pragma once

#include <cstdint>
#include <string>

#include "image/hex_check.h"

struct LinkTiming {
  std::string port;              // the device's port; empty: not measured
  int64_t lineOperationUs = -1;  // the median of its first line operations
  bool slow = false;             // as slow as a USB-serial adapter
  int64_t cycleUs = 0;           // the whole cycle, estimated
};

// The cycle from the erase on, for an image as counted by its check, at
// lineOperationUs a line operation. outlast: fast mode neither waits for nor
// reads back a write (isp/fast_mode.h).
int64_t EstimateFromEraseUs(int64_t lineOperationUs, const HexCheck& image, bool verify, bool fast, bool outlast);
