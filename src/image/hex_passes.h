// The two passes that stream the open HEX file against flash, record by record
// and field by field, never holding the image: ProgramFromHex writes every data
// byte, VerifyFromHex reads each back and compares.
//
// Quirks kept on purpose: a non-hex character reads as 0, checksums are read
// and ignored, any nonzero record type is the last record, no extended
// addressing (the 16-bit address wraps), every ':' counts for progress.
#pragma once

#include "state/shared_state.h"
#include <cstdint>

#include "state/dialog_ops.h"

constexpr int kWriteFailed = -3;     // WriteFlashByte failed
constexpr int kReadFailed = -3;      // ReadFlashByte failed
constexpr int kVerifyMismatch = -4;  // the byte read back differs
constexpr int kHexEndedEarly = -6;   // the file ended before its last record

uint8_t HexDigitValue(uint8_t c);
// 0 after the last record, else one of the above (the byte in g_failAddress).
int ProgramFromHex(DialogOps* statusWindow);
int VerifyFromHex(DialogOps* statusWindow);
