// The result codes other programs and scripts see in logs and diagnostics are
// fixed numbers, each operation's own; a renumbering is a change of contract,
// not a refactoring.
#include <gtest/gtest.h>

#include "cycle/device_serial.h"
#include "image/hex_passes.h"
#include "isp/bit_link.h"
#include "isp/instructions.h"
#include "isp/port.h"

TEST(ResultCodes, AreTheDocumentedNumbers) {
  EXPECT_EQ(kPortUnavailable, -2);
  EXPECT_EQ(kPortSetupFailed, -3);
  EXPECT_EQ(kTransferNoBuffer, -3);
  EXPECT_EQ(kReadNoBuffer, -4);
  EXPECT_EQ(kNoAnswer, -101);
  EXPECT_EQ(kWriteFailed, -3);
  EXPECT_EQ(kReadFailed, -3);
  EXPECT_EQ(kVerifyMismatch, -4);
  EXPECT_EQ(kSerialNoEvent, -2);
  EXPECT_EQ(kSerialNoListener, -3);
  EXPECT_EQ(kSerialNoFrame, -4);
  EXPECT_EQ(kSerialEmpty, -5);
  EXPECT_EQ(kRecordWriteFailed, -5);
  EXPECT_EQ(kRecordMismatch, -5);
}

// A pass's own endings beside the documented ones: a stop request must never
// read as a file that ended early, nor either as a failed write or read.
TEST(ResultCodes, APassTellsEachOfItsEndingsApart) {
  const int endings[] = {kWriteFailed, kVerifyMismatch, kHexEndedEarly, kPassStopped};
  for (size_t i = 0; i < 4; ++i)
    for (size_t j = i + 1; j < 4; ++j) EXPECT_NE(endings[i], endings[j]) << i << " " << j;
}
