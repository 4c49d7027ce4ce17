// The part this system programs: the device's controller, its flash and the
// serial-number record the device keeps at the top of it, and the times its
// programming interface needs. The link, the image check, the cycle, the
// simulated device and both dialogs take these figures from here, so that
// another part is one more description, not a search through every layer.
//
// The resource script includes this file too: it sees the macro only.
#pragma once

// The device model the programmer is made for, as both dialogs show it.
#define ORVALO_PART_NUMBER_NOTE "For Part No. RV0058LK00 ONLY."

#ifndef RC_INVOKED
#include <cstdint>

struct TargetPart {
  const char* name;      // the controller, as operators' notes name it
  // Read Signature Bytes: vendor, flash size, the part itself. Siblings of the
  // same flash size differ in their data polling and lock bits.
  uint8_t signature[3];
  int flashSize;         // bytes: byte addresses 0 to flashSize - 1
  // The serial-number record fills the top of flash: the number of
  // characters N, up to serialRecordSize - 2 characters, the rest left
  // erased, and a checksum (N + the characters) mod 256 in the last byte.
  int serialRecordAddress;
  int serialRecordSize;
  uint8_t flashPollValue;  // what the flash byte being written reads as
  // The part's own times in microseconds: what it needs before it listens or
  // after an erase, and how long a flash byte write takes.
  int64_t enableAfterResetUs;  // from reset until Programming Enable is heard
  int64_t eraseUs;             // a Chip Erase, ended by the next reset
  int64_t writeTypicalUs;      // a flash byte write, typically
  int64_t writeLongestUs;      // a flash byte write, the family's longest
  // The pauses the link gives those times, each with a margin, in ms.
  unsigned resetPauseMs;  // after the reset, before Programming Enable
  unsigned erasePauseMs;  // after Chip Erase, before the reset that ends it
  unsigned writePauseMs;  // after a flash byte write
  unsigned lockPauseMs;   // after Write Lock Bits
};

constexpr TargetPart kTargetPart = {
    "AT90S8515", {0x1E, 0x93, 0x01},
    8192, 0x1FE8, 24, 0x7F,
    20000, 20000, 4000, 9000,
    22, 22, 6, 22,
};

// The record's layout, from the description above.
constexpr int kSerialRecordAddress = kTargetPart.serialRecordAddress;
constexpr int kSerialRecordSize = kTargetPart.serialRecordSize;
constexpr int kSerialLength = kSerialRecordSize - 2;  // the characters a record holds
constexpr int kSerialChecksumAddress = kSerialRecordAddress + kSerialRecordSize - 1;
static_assert(kSerialChecksumAddress == kTargetPart.flashSize - 1, "the record ends the flash");
#endif
