#include "state/status_line.h"

#include <atomic>
#include <cstdio>

#include "state/shared_state.h"

namespace {

struct Row {
  StatusId status;
  StatusEntry entry;
};

// text, red, progress, final
const Row kRows[] = {
    {StatusId::kIdle, {ORVALO_STATUS_IDLE, false, false, false}},
    {StatusId::kStationInUse, {"Station in use by another program.", false, false, false}},
    {StatusId::kFirmwareUnusable, {"Firmware file access Failed.", true, false, true}},
    {StatusId::kAutoDetecting, {"Auto Detecting Device ...", false, false, false}},
    {StatusId::kDeviceNotFound, {"Device not found. Check Power, Cable, Free COM.", true, false, true}},
    {StatusId::kDeviceFound, {"Device found at %s. Getting Serial Number ...", false, false, false}},
    {StatusId::kSerialOk, {"Serial Number OK.", false, false, false}},
    // Also the final text when the station could not ask the device at all.
    {StatusId::kSerialNotFound, {"Serial Number not found.", true, false, false}},
    {StatusId::kSerialDefaulted, {"No Serial Number found. Default to Factory.", true, false, false}},
    {StatusId::kSerialNotSaved, {"Saving Serial Number failed.", true, false, true}},
    {StatusId::kProgrammingFailed, {"Programming Failed.", true, false, true}},
    {StatusId::kChipErased, {"Chip Erased.", false, false, false}},
    {StatusId::kProgramming, {"Programming, %d%% Completed.", false, true, false}},
    {StatusId::kProgrammingFailedAt, {"Programming Failed at 0x%04X .", true, false, true}},
    {StatusId::kVerifying, {"Verifying, %d%% Completed.", false, true, false}},
    {StatusId::kVerifyFailedAt, {"Verify Failed at 0x%04X.", true, false, true}},
    {StatusId::kSerialNotWritten, {"Writing Serial Number failed.", true, false, true}},
    {StatusId::kCompleted, {"Programming Completed Successfully.", false, false, true}},
    {StatusId::kNotStarted, {"Egnition failed.", true, false, false}},  // no cycle ran
    {StatusId::kStopped, {"", true, false, true}},
};

std::atomic<StatusId> g_shown{StatusId::kIdle};

}  // namespace

const StatusEntry& StatusEntryOf(StatusId status) {
  for (const Row& row : kRows)
    if (row.status == status) return row.entry;
  return StatusEntryOf(StatusId::kStopped);
}

std::string StatusText(StatusId status, unsigned number, const std::string& port) {
  const StatusEntry& e = StatusEntryOf(status);
  char text[256];
  switch (status) {
    case StatusId::kDeviceFound: std::snprintf(text, sizeof text, e.text, port.c_str()); break;
    case StatusId::kProgramming:
    case StatusId::kVerifying: std::snprintf(text, sizeof text, e.text, int(number)); break;
    case StatusId::kProgrammingFailedAt:
    case StatusId::kVerifyFailedAt: std::snprintf(text, sizeof text, e.text, number); break;
    default: return e.text;
  }
  return text;
}

void ShowStatus(DialogOps* dialog, StatusId status, unsigned number, const std::string& port) {
  const StatusEntry& e = StatusEntryOf(status);
  if (!e.progress) g_statusError = e.red ? 1 : 0;
  g_shown = status;
  if (!*e.text) return;
  std::string text = StatusText(status, number, port);
  if (e.progress)
    dialog->SetProgressText(text.c_str(), int(number));
  else
    dialog->SetStatusText(text.c_str());
}

StatusId ShownStatus() { return g_shown.load(); }
