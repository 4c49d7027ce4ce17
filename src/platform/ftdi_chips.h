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
// rate generator, so 500 kBd holds every state for 2 us: four times the
// 500 ns the part needs for each clock level (two cycles of its 4 MHz
// crystal), which leaves room for a chip whose bit-bang clock runs faster
// than the rate set, as some reports say.
constexpr unsigned kClockRate = 500000;

// A synchronous write is clocked out only while the chip has room for its
// samples, so one write never exceeds the smaller of its two buffers: the
// FT232R takes 128 bytes from the host and holds 256 for it, the FT-X chips
// 512 each.
constexpr size_t kPieceFt232r = 128;
constexpr size_t kPieceFtX = 512;

}  // namespace ftdi
}  // namespace plat
