#include "cycle/programming_cycle.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "cycle/device_serial.h"
#include "state/shared_state.h"
#include "state/status_line.h"
#include "state/stop_request.h"
#include "image/hex_passes.h"
#include "app/settings_store.h"
#include "isp/fast_mode.h"
#include "isp/instructions.h"
#include "isp/line_sink.h"
#include "isp/port.h"
#include "part/target_part.h"
#include "isp/watched_lines.h"
#include "platform/clock.h"
#include "platform/clocked_lines.h"
#include "platform/ftdi_port.h"
#include "platform/port_problem.h"
#include "platform/thread.h"

const char kClockedLinesEntry[] = "Clocked Lines";

std::unique_ptr<plat::Thread> g_cycleThread;

namespace {

std::atomic<CycleOutcome> g_lastOutcome{CycleOutcome::kNone};

std::mutex g_reportMutex;
CycleReport g_report;

void SetReport(const CycleReport& report) {
  std::lock_guard<std::mutex> g(g_reportMutex);
  g_report = report;
}

// The final status is shown by the clean-up, which sets the error flag with it.
CycleEnd End(CycleReport* report, StatusId status, CycleEnd end = CycleEnd::kFailed) {
  report->finalStatus = status;
  return end;
}

// A pass's failure, at the flash byte it stopped on.
CycleEnd FailAt(CycleReport* report, StatusId status) {
  report->failAddress = g_failAddress;
  return End(report, status);
}

// A stop ends the cycle like a failure, without a text of its own: the front
// end that asked for it says why.
CycleEnd Stopped(CycleReport* report) { return End(report, StatusId::kStopped, CycleEnd::kStopped); }

// Reads the part's signature into s and says what it is.
PartCheck IdentifyPart(uint8_t* s) {
  ReadSignature(s);
  if (std::equal(s, s + 3, kTargetPart.signature)) return PartCheck::kMatched;
  if (s[0] == s[1] && s[1] == s[2]) return PartCheck::kUnreadable;
  return PartCheck::kWrongPart;
}

// The device's port as its first line operations found it, and the cycle's
// length at that pace.
LinkTiming TimeLink(const std::string& port, int64_t startUs, bool verify, const HexCheck& image) {
  LinkTiming t;
  t.lineOperationUs = TypicalLineOperationUs(g_hPort);
  if (t.lineOperationUs < 0) return t;
  t.port = port;
  t.slow = LinesAreSlow(g_hPort);
  t.cycleUs = plat::NowUs() - startUs +
              EstimateFromEraseUs(t.lineOperationUs, image, verify, FastMode(), FramesOutlastAByteWrite(g_hPort));
  return t;
}

// Runs every stage up to the final status, which it leaves in the report.
CycleEnd RunStages(DialogOps* dialog, CycleReportView* view, bool verify, CycleReport* report) {
  const int64_t startUs = plat::NowUs();
  SetWritesVerifiedLater(verify);
  if (GetProfileString("Device", kClockedLinesEntry, "") == "0") plat::AllowClockedLines(false);
  bool found = false;
  for (PortProbe& probe : report->ports) {
    if (StopRequested()) return Stopped(report);
    const char* portName = probe.name.c_str();
    // The simulator's ports note nothing: an earlier open's reason must not
    // stand for this one.
    plat::NotePortProblem(portName, plat::PortNote());
    int opened = OpenPort(portName);
    probe.clockedNote = plat::ClockedLinesNote();
    if (opened != 0) {
      probe.result = opened == kPortSetupFailed ? ProbeResult::kSettingsRefused : ProbeResult::kNotOpened;
      probe.note = plat::LastPortProblem(portName);
      plat::Sleep(1);
      continue;
    }
    probe.lines = ClockLinesByAdapter() ? LineWay::kClocked : LineWay::kLineOperations;
    if (EnterProgrammingMode() == 0) {
      probe.result = ProbeResult::kAnswered;
      report->port = probe.name;
      found = true;
      break;
    }
    probe.result = ProbeResult::kNoAnswer;
    probe.chipFailed = ClockedLinkLost();
    ClosePort();
    plat::Sleep(1);
  }
  // The part is identified before anything on it changes, the lock bits
  // written by the release below included. A part locked against reads
  // cannot be told from any other that answers one value throughout; it is
  // taken for ours and identified once the erase has lifted the lock.
  if (found) {
    report->part = IdentifyPart(report->signature);
    found = report->part != PartCheck::kWrongPart;
  }
  if (!found) return End(report, StatusId::kDeviceNotFound, CycleEnd::kNoDevice);

  ShowStatus(dialog, StatusId::kDeviceFound, 0, report->port);
  // The firmware already on the device reports the serial number, so it must
  // run before anything is erased. Its first report comes 20 ms after it
  // starts: the port is a UART again well before.
  LockAndRun();
  ReleaseClockedLines();
  plat::Sleep(10);
  char working[kWorkingSerialSize];
  int serial = ObtainSerialNumber(dialog, working, &report->serialSource);
  if (serial == kSerialNotSaved) return End(report, StatusId::kSerialNotSaved, CycleEnd::kSerialNotSaved);
  if (serial == kStationCannotAsk) return End(report, StatusId::kSerialNotFound, CycleEnd::kSerialNotAsked);
  if (serial != 0) return End(report, StatusId::kSerialNotFound);
  report->serial = working;
  dialog->SetSerialNumberText(working);
  dialog->RepaintNow();
  g_statusError = 0;
  plat::Sleep(10);
  // The last moment at which stopping leaves the device as it came.
  if (StopRequested()) return Stopped(report);

  ClockLinesByAdapter();
  report->link = TimeLink(report->port, startUs, verify, report->firmware);
  if (view && !report->link.port.empty()) view->ShowLinkTiming(report->link);
  if (EnterProgrammingMode() != 0) return End(report, StatusId::kProgrammingFailed);
  EraseChip();
  ShowStatus(dialog, StatusId::kChipErased);
  // Every part reads its own signature once erased; only the target part
  // gets a byte written.
  if (IdentifyPart(report->signature) != PartCheck::kMatched) {
    report->part = PartCheck::kWrongAfterErase;
    return End(report, StatusId::kProgrammingFailed);
  }
  report->part = PartCheck::kMatched;
  int programmed = ProgramFromHex(dialog);
  if (programmed == kPassStopped) return Stopped(report);
  if (programmed != 0) return FailAt(report, StatusId::kProgrammingFailedAt);
  if (verify) {
    int verified = VerifyFromHex(dialog);
    if (verified == kPassStopped) return Stopped(report);
    if (verified != 0) return FailAt(report, StatusId::kVerifyFailedAt);
  }
  if (StopRequested()) return Stopped(report);
  // The record is the device's only copy of its identity: a write that cannot
  // be read back whole is a failure, and the chip is then left unlocked. It is
  // written whole once begun, since a stop inside it would lose the number.
  if (WriteSerialRecord(working, kWorkingSerialMax) != 0 || CheckSerialRecord(working, kWorkingSerialMax) != 0)
    return End(report, StatusId::kSerialNotWritten);
  report->recordWritten = true;
  LockAndRun();
  // The lock and the release have no answer to check; an adapter that failed
  // on the way may have carried neither.
  if (ClockedLinkLost()) return End(report, StatusId::kProgrammingFailed);
  return End(report, StatusId::kCompleted, CycleEnd::kCompleted);
}

}  // namespace

PortList DefaultProbePorts() { return {"COM1", "COM2"}; }

CycleReport LastCycleReport() {
  std::lock_guard<std::mutex> g(g_reportMutex);
  return g_report;
}

int ProgrammingCycle(DialogOps* dialog, CycleReportView* view, const PortList& ports) {
  if (!dialog) return kCycleNoDialog;
  CycleReport report;
  report.priorityRefused = !plat::RaiseThreadPriorityTimeCritical();
  g_cycleBusy = 1;
  g_statusError = 0;
  dialog->EnableStart(false);
  dialog->EnableVerify(false);
  dialog->DoWaitCursor(1);
  bool verify = dialog->IsVerifyChecked();
  dialog->RepaintNow();
  g_lastOutcome = CycleOutcome::kNone;

  for (const std::string& name : ports) {
    PortProbe probe;
    probe.name = name;
    report.ports.push_back(probe);
  }
  // The file is read again through the held handle: on a platform that
  // cannot keep other writers out it may have changed since start-up, and a
  // file found unusable now must not reach an erased chip.
  if (ReloadFirmwareImage(&report.firmware) != 0) {
    report.end = End(&report, StatusId::kFirmwareUnusable, CycleEnd::kFirmwareUnusable);
  } else {
    ShowStatus(dialog, StatusId::kAutoDetecting);
    report.end = RunStages(dialog, view, verify, &report);
  }

  ShowStatus(dialog, report.finalStatus, report.failAddress);
  for (PortProbe& probe : report.ports)
    if (probe.result == ProbeResult::kAnswered && ClockedLinkLost()) probe.chipFailed = true;
  ClosePort();
  SetReport(report);
  if (view) view->ShowCycleReport(report);
  dialog->EnableVerify(true);
  dialog->DoWaitCursor(-1);
  dialog->EnableStart(true);
  g_lastOutcome = report.end == CycleEnd::kCompleted ? CycleOutcome::kSucceeded : CycleOutcome::kFailed;
  g_cycleBusy = 0;
  return 0;
}

CycleOutcome LastCycleOutcome() { return g_lastOutcome.load(); }

void OnStart(DialogOps* dialog, CycleReportView* view, PortList ports) {
  // The button is disabled only once the new thread runs; a press that comes
  // before then must not start a second cycle.
  uint8_t idle = 0;
  if (!g_cycleBusy.compare_exchange_strong(idle, 1)) return;
  JoinCycleThread();
  g_cycleThread = plat::Thread::Start([dialog, view, ports] { ProgrammingCycle(dialog, view, ports); });
  if (!g_cycleThread) {
    CycleReport report;
    report.notStarted = plat::LastThreadStartError();
    SetReport(report);
    g_lastOutcome = CycleOutcome::kFailed;
    g_cycleBusy = 0;
    ShowStatus(dialog, report.finalStatus);
    if (view) view->ShowCycleReport(report);
  }
}

void JoinCycleThread() {
  if (g_cycleThread) {
    g_cycleThread->Join();
    g_cycleThread.reset();
  }
}
