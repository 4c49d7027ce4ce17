// What both platforms' backends know of the FTDI chips that can clock the
// cable's lines (FT232R, FT-X), whichever library reaches them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat {
namespace ftdi {

constexpr uint16_t kVendor = 0x0403;
constexpr uint16_t kProductFt232r = 0x6001;
constexpr uint16_t kProductFtX = 0x6015;  // FT230X, FT231X and kin

// In synchronous bit-bang mode the chip clocks one state per tick of its baud
// rate generator. How the rate set maps to the ticks is not settled (the
// reports differ by factors of 4 to 32), but none of these chips clocks more
// than 3 million states a second. Asking for that top rate makes the rate a
// bound the chip cannot beat, so a number of states is a least time: the link
// holds each clock level for two states, 667 ns, more than the 500 ns the part
// needs (two cycles of its 4 MHz crystal). An instruction's 160-odd states
// then take about 55 us, so it costs little more than its USB round trip.
constexpr unsigned kClockRate = 3000000;

// A synchronous write is clocked out only while the chip has room for its
// samples, so a write with no read in flight never exceeds the smaller of its
// two buffers: the FT232R takes 128 bytes from the host and holds 256 for it,
// the FT-X chips 512 each. With a read in flight while the write goes, the
// samples are drained as they come and the buffers bound no write.
constexpr size_t kPieceFt232r = 128;
constexpr size_t kPieceFtX = 512;

}  // namespace ftdi
}  // namespace plat
