// The result codes other programs and scripts see in logs and diagnostics are
// fixed numbers, each operation's own; a renumbering is a change of contract,
// not a refactoring.
#include <gtest/gtest.h>

#include <vector>

#include "cycle/device_serial.h"
#include "cycle/programming_cycle.h"
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
  EXPECT_EQ(kCycleNoDialog, -2);
}

// Each operation's own endings, the documented ones and those beside them,
// are told apart: a stop request never reads as a file that ended early, nor
// a listener that keeps the port as one that never started.
TEST(ResultCodes, EachOperationTellsItsEndingsApart) {
  const std::vector<std::vector<int>> operations = {
      {0, kPortUnavailable, kPortSetupFailed},
      {0, kNoAnswer, kReadNoBuffer, kTransferNoBuffer},
      {0, kWriteFailed, kHexEndedEarly, kPassStopped},
      {0, kReadFailed, kVerifyMismatch, kHexEndedEarly, kPassStopped},
      {0, kSerialNoEvent, kSerialNoListener, kSerialNoFrame, kSerialEmpty, kSerialListenerHeld},
      {0, kSerialNotSaved, kStationCannotAsk},
      {0, kRecordWriteFailed, kRecordMismatch},  // the record as the cycle checks it
  };
  for (size_t op = 0; op < operations.size(); ++op) {
    const std::vector<int>& r = operations[op];
    for (size_t i = 0; i < r.size(); ++i)
      for (size_t j = i + 1; j < r.size(); ++j) EXPECT_NE(r[i], r[j]) << "operation " << op << ": " << i << " " << j;
  }
}
