// The two passes that stream the checked copy of the HEX file (g_firmwareImage)
// against flash, record by record and field by field: ProgramFromHex writes
// every data byte, VerifyFromHex reads each back and compares.
//
// They read by fixed character positions and trust the text, which was checked
// before the cycle began (hex_check.h): a non-hex character reads as 0,
// checksums are read and ignored, the 16-bit address wraps, every ':' counts
// for progress. Only data records (00) reach flash; the end record (01) ends
// the pass; other records are read past. A byte that an earlier record already
// gave the same address is neither written nor read again.
//
// A stop request (stop_request.h) is honoured before each data byte's
// instruction, never inside one: the pass returns kPassStopped.
#pragma once

#include "state/shared_state.h"
#include <cstdint>

#include "state/dialog_ops.h"

uint8_t HexDigitValue(uint8_t c);

// Either pass's results beside 0 (after the last record) and its own below.
constexpr int kHexEndedEarly = -6;  // the file ended before its last record
constexpr int kPassStopped = -7;    // a stop was requested

// kWriteFailed: WriteFlashByte failed at the byte in g_failAddress.
constexpr int kWriteFailed = -3;
int ProgramFromHex(DialogOps* statusWindow);

// kReadFailed: ReadFlashByte failed; kVerifyMismatch: the byte read back
// differs; either at the byte in g_failAddress. Each pass reports its failed
// instruction as -3, the number known outside; within a pass every result is
// its own.
constexpr int kReadFailed = -3;
constexpr int kVerifyMismatch = -4;
int VerifyFromHex(DialogOps* statusWindow);
