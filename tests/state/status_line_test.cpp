// The status line's vocabulary as the operator sees it: each status's text
// (its argument filled in), the colour it is drawn in, and whether a cycle
// ends on it.
#include <gtest/gtest.h>

#include <string>

#include "state/shared_state.h"
#include "state/status_line.h"
#include "support/silent_dialog.h"

namespace {

enum Flag { kClear, kSet, kKept };  // g_statusError once the text is shown

struct LineDialog : SilentDialog {
  void SetStatusText(const char* t) override { text = t, red = g_statusError.load() != 0; }
  std::string text;
  bool red = false;
};

TEST(StatusLineTest, EachStatusHasItsTextColourAndEnding) {
  // text: "" where nothing is written
  const struct Row { StatusId id; unsigned number; const char* port; const char* text; Flag flag; bool final; }
  rows[] = {
      {StatusId::kIdle, 0, "", "Idle.", kClear, false},
      {StatusId::kStationInUse, 0, "", "Station in use by another program.", kClear, false},
      {StatusId::kFirmwareUnusable, 0, "", "Firmware file access Failed.", kSet, true},
      {StatusId::kAutoDetecting, 0, "", "Auto Detecting Device ...", kClear, false},
      {StatusId::kDeviceNotFound, 0, "", "Device not found. Check Power, Cable, Free COM.", kSet, true},
      {StatusId::kDeviceFound, 0, "COM2", "Device found at COM2. Getting Serial Number ...", kClear, false},
      {StatusId::kSerialOk, 0, "", "Serial Number OK.", kClear, false},
      {StatusId::kSerialNotFound, 0, "", "Serial Number not found.", kSet, false},
      {StatusId::kSerialDefaulted, 0, "", "No Serial Number found. Default to Factory.", kSet, false},
      {StatusId::kSerialNotSaved, 0, "", "Saving Serial Number failed.", kSet, true},
      {StatusId::kProgrammingFailed, 0, "", "Programming Failed.", kSet, true},
      {StatusId::kChipErased, 0, "", "Chip Erased.", kClear, false},
      {StatusId::kProgramming, 7, "", "Programming, 7% Completed.", kKept, false},
      {StatusId::kProgrammingFailedAt, 0x0123, "", "Programming Failed at 0x0123 .", kSet, true},
      {StatusId::kVerifying, 100, "", "Verifying, 100% Completed.", kKept, false},
      {StatusId::kVerifyFailedAt, 0x1A2B, "", "Verify Failed at 0x1A2B.", kSet, true},
      {StatusId::kSerialNotWritten, 0, "", "Writing Serial Number failed.", kSet, true},
      {StatusId::kCompleted, 0, "", "Programming Completed Successfully.", kClear, true},
      {StatusId::kNotStarted, 0, "", "Egnition failed.", kSet, false},
      {StatusId::kStopped, 0, "", "", kSet, true},
  };
  for (const Row& r : rows) {
    // The flag starts the other way round, so that each must change it (or
    // leave it alone).
    g_statusError = r.flag != kSet;
    LineDialog dialog;
    ShowStatus(&dialog, r.id, r.number, r.port);
    EXPECT_EQ(dialog.text, r.text);
    // Drawn in the flag's colour, and left with it for a repaint.
    EXPECT_EQ(g_statusError.load() != 0, r.flag != kClear) << r.text;
    EXPECT_EQ(dialog.red, *r.text && r.flag != kClear) << r.text;
    EXPECT_EQ(StatusEntryOf(r.id).final, r.final) << r.text;
  }
  g_statusError = 0;
}

}  // namespace
