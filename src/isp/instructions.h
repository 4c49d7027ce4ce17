// The AVR serial programming instructions for an 8 KiB byte-programmed flash,
// each a four-byte frame over TransferByte. All expect g_hPort open and run on
// the programming-cycle thread.
#pragma once

#include <cstdint>

constexpr int kNoAnswer = -101;   // the device did not answer as required
constexpr int kReadNoBuffer = -4;  // nowhere to put the byte read
// A transfer's own failure (kTransferNoBuffer, bit_link.h) is passed on.

// Reset sequence, then up to 32 Programming Enable attempts. 0 or kNoAnswer.
int EnterProgrammingMode();
// Chip Erase, then a fresh reset and programming-mode entry. 0 or kNoAnswer.
int EraseChip();
// Write Program Memory for one byte; 0xFF sends nothing. 0, kNoAnswer or a
// transfer's failure (in fast mode also kNoAnswer when the byte does not read
// back as written).
int WriteFlashByte(int address, uint8_t data);
// Read Program Memory for one byte. 0, kReadNoBuffer (out is null), a
// transfer's failure, or kNoAnswer when the adapter clocking the lines failed
// (line_sink.h).
int ReadFlashByte(int address, uint8_t* out);
// Read Signature Bytes: the part's three signature bytes, each answered in
// the fourth transfer of its frame. 0, kReadNoBuffer (out is null), a
// transfer's failure or kNoAnswer (the adapter failed). A part whose reads are locked answers one fixed value.
int ReadSignature(uint8_t* out);
// Write Lock Bits, then control level 1: the device runs its firmware. Always 0.
int LockAndRun();
