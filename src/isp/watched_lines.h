// The control lines of a port that cannot clock them itself, watched: how
// long its line operations take (a UART on the bus: microseconds; a USB-serial
// adapter: a USB round trip of about a millisecond each), and, in fast mode
// on such a slow port, a line set to the level it already has is not set
// again: there even a change of nothing costs a round trip.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/serial_port.h"

// Line operations timed after the open; their median stands for the port.
constexpr int kTimedLineOperations = 16;
// A port whose line operations take this long or longer is slow: no UART on
// the bus comes near it, every USB adapter is beyond it.
constexpr int64_t kSlowLineOperationUs = 100;

// A port that clocks its lines is returned as it is.
std::unique_ptr<plat::SerialPort> WatchLines(std::unique_ptr<plat::SerialPort> port);

// The median of the first kTimedLineOperations line operations on port, in
// microseconds; -1 until that many were made, or for a port not watched.
int64_t TypicalLineOperationUs(plat::SerialPort* port);

// Whether port was timed and found slow.
bool LinesAreSlow(plat::SerialPort* port);

// Whether the clock pulses of one four-byte frame on port take longer than
// twice a byte write of the slowest part of the family, going by the fastest
// clock change seen on it so far: a frame that follows a write then cannot
// reach the part while it is still busy.
bool FramesOutlastAByteWrite(plat::SerialPort* port);
