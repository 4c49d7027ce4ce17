// The part this system programs, as its programming interface names it.
#pragma once

#include <cstdint>

// Read Signature Bytes of the AT90S8515: 1E for Atmel, 93 for 8 KiB of flash,
// 01 for the part itself. Its siblings of the same flash size (the AT90S8535,
// 1E 93 03) differ in their data polling and lock bits.
constexpr uint8_t kTargetSignature[3] = {0x1E, 0x93, 0x01};
