// One press of Start: probe the ports (COM1 then COM2 unless the front end
// names others), read the device's serial number,
// erase, program, verify if asked, write the serial-number record back, lock
// and run. Every stage and the outcome reach the status line through the
// dialog's operations.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cycle/cycle_estimate.h"
#include "cycle/device_serial.h"
#include "image/firmware_file.h"
#include "state/dialog_ops.h"
#include "state/status_line.h"
#include "platform/port_problem.h"
#include "platform/thread.h"

// Handle of the last cycle thread.
extern std::unique_ptr<plat::Thread> g_cycleThread;

// How the last cycle ended: kNone before the first one ends (and while one
// runs), then whether it reached the final lock with everything written.
enum class CycleOutcome { kNone, kSucceeded, kFailed };
CycleOutcome LastCycleOutcome();

constexpr int kCycleNoDialog = -2;

// How the last cycle ended, for front ends that report more than the status
// line (the headless runner's exit status and its standard error).
enum class CycleEnd {
  kCompleted,         // "Programming Completed Successfully."
  kNoDevice,          // "Device not found. Check Power, Cable, Free COM."
  kFailed,            // any other red final text of a cycle that ran
  kFirmwareUnusable,  // the firmware file was no longer usable: no port opened
  kStopped,           // a stop was requested (stop_request.h): no final text
  kNotStarted,        // "Egnition failed."
  // Before the erase, the device left with its firmware and serial number:
  kSerialNotSaved,    // "Saving Serial Number failed.": the store did not keep the device's number
  kSerialNotAsked,    // "Serial Number not found.": the station could not start the exchange
};
// What the part answered to Read Signature, read once the probe has found it
// and again after the erase, and what the cycle made of it.
enum class PartCheck {
  kNotRead,          // the cycle ended before the part was asked
  kMatched,          // the target part's signature (part/target_part.h)
  kUnreadable,       // before the erase, one value for all three bytes, as a
                     // part in lock mode 3 answers; taken for a locked part
                     // and asked again after the erase
  kWrongPart,        // before the erase, another part: nothing was changed
                     // on it ("Device not found. Check Power, Cable, Free COM.")
  kWrongAfterErase,  // after the erase, not the target part: erased, nothing
                     // written ("Programming Failed.")
};

// What the probe learnt of one port, in probe order.
enum class ProbeResult {
  kNotTried,         // the device had answered on an earlier port (or no probe ran)
  kNotOpened,        // absent, in use or refused: note says why where the platform knows
  kSettingsRefused,  // opened, but a configuration step failed
  kNoAnswer,         // opened and configured, but Programming Enable found no device
  kAnswered,
};
// How the link drove an opened port's lines.
enum class LineWay {
  kNotUsed,         // the port was not opened
  kLineOperations,  // one operation at a time, each a call on the port
  kClocked,         // clocked by the adapter's chip, a whole instruction per call
};
struct PortProbe {
  std::string name;  // as the front end gave it: COM1, COM7, /dev/ttyUSB0
  ProbeResult result = ProbeResult::kNotTried;
  plat::PortNote note;  // the platform's reason for kNotOpened or kSettingsRefused
  LineWay lines = LineWay::kNotUsed;
  std::string clockedNote;  // why an adapter's chip could not clock the lines
  bool chipFailed = false;  // the chip failed while it clocked the lines
};

// The port names a cycle probes, in order; the first that answers is used.
using PortList = std::vector<std::string>;
// COM1, then COM2: the dialog's probe.
PortList DefaultProbePorts();

struct CycleReport {
  CycleEnd end = CycleEnd::kNotStarted;
  // The last status the cycle showed (kStopped: none of its own); with the
  // address of the flash byte a failed pass stopped at.
  StatusId finalStatus = StatusId::kNotStarted;
  uint16_t failAddress = 0;
  PartCheck part = PartCheck::kNotRead;
  uint8_t signature[3] = {0, 0, 0};  // the last answer the part gave
  SerialSource serialSource = SerialSource::kNone;
  // The number the cycle settled on, "" before it did.
  std::string serial;
  // Its record is in the device, read back whole: so after every completed
  // cycle, and after one whose chip failed during the final lock and release.
  bool recordWritten = false;
  FirmwareCheck firmware;   // why the firmware file could not be used
  std::string notStarted;   // the system's reason the thread could not start
  std::string port;         // where the device answered, "" when nowhere
  // Whether the cycle's thread was refused every raise of its priority: its
  // timing is then the scheduler's default.
  bool priorityRefused = false;
  std::vector<PortProbe> ports;  // one per probed name, in probe order
  LinkTiming link;  // the device's port, once the cycle reached the erase
};
// Written by the cycle's thread before it ends; read after it has.
CycleReport LastCycleReport();

// A front end that says more than the status line about how a cycle ended.
// Called once per press of Start that was not ignored, after the final text
// and before Start is enabled again: from the cycle's thread, or from
// OnStart's caller when the thread cannot start. Like DialogOps, each call
// completes before it returns.
class CycleReportView {
 public:
  virtual ~CycleReportView() = default;
  virtual void ShowCycleReport(const CycleReport& report) = 0;
  // Before the erase, from the cycle's thread, when the device's port could
  // be timed: what its line operations take and how long the cycle will.
  virtual void ShowLinkTiming(const LinkTiming&) {}
};

// The settings entry (section "Device") that turns clocked lines off for the
// rest of the run when it reads "0".
extern const char kClockedLinesEntry[];  // "Clocked Lines"

// The cycle itself; kCycleNoDialog without a dialog, otherwise 0 after a cycle. The
// firmware file is read and checked before any port is opened; the passes use
// that checked copy.
int ProgrammingCycle(DialogOps* dialog, CycleReportView* view = nullptr,
                     const PortList& ports = DefaultProbePorts());

// The Start button's handler: runs ProgrammingCycle on a new thread. A press
// while a cycle is running is ignored. "Egnition failed." when the thread
// cannot be created.
void OnStart(DialogOps* dialog, CycleReportView* view = nullptr, PortList ports = DefaultProbePorts());

// Waits for the last cycle thread to end and releases it (front ends at exit,
// tests after a cycle).
void JoinCycleThread();
