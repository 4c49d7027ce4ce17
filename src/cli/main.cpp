// orvalo-programmer-cli: one programming cycle, headless, for production lines
// and scripts.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/firmware_location.h"
#include "app/process_setup.h"
#include "app/settings_store.h"
#include "cli/console_dialog.h"
#include "cli/diagnostics.h"
#include "cli/exit_status.h"
#include "cli/journal_run.h"
#include "cli/output_text.h"
#include "cli/line_options.h"
#include "cli/operator_notes.h"
#include "cli/options.h"
#include "cli/station.h"
#include "cycle/programming_cycle.h"
#include "image/firmware_file.h"
#include "isp/fast_mode.h"
#include "state/stop_request.h"
#include "platform/append_file.h"
#include "platform/clocked_lines.h"
#include "platform/file.h"
#include "platform/interrupt.h"
#include "sim/sim.h"
#include "state/shared_state.h"
#include "orvalo_version.h"

namespace {

const char kUsage[] =
    "Usage: orvalo-programmer-cli [--verify] [--strict-serial] [--fast] [--line-operations]\n"
    "                             [--station NAME] [--journal FILE] [--] [FIRMWARE]\n"
    "       orvalo-programmer-cli --journal-report FILE\n"
    "       orvalo-programmer-cli --help | --version\n"
    "\n"
    "Runs one programming cycle: finds the device on COM1 or COM2, reads its serial\n"
    "number, erases the chip, writes the Intel-HEX image FIRMWARE (default:\n"
    "firmware.hex beside this program), verifies it with --verify, writes the serial\n"
    "number back, locks the chip and lets it run. There is no fall-back: a FIRMWARE\n"
    "that cannot be opened or is not a usable image ends the run before any device\n"
    "is touched; standard error then says which line is wrong and why. The file\n"
    "is read and checked again before the cycle opens any port.\n"
    "\n"
    "Options:\n"
    "  --verify         read every byte back after programming\n"
    "  --strict-serial  exit status 3 when the serial number written did not come\n"
    "                   from the device (the station's stored value or the factory\n"
    "                   default was used); the cycle itself is unchanged\n"
    "  --               ends the options: a FIRMWARE may then start with '-'\n"
    "  --version        print the version and exit\n"
    "  --help, -h       this text\n"
    "\n"
    "Output: each status text on a line of its own; texts shown in the error colour\n"
    "start with \"! \"; \"Serial Number: TEXT\" when the serial number is known\n"
    "(control characters, bytes above 0x7E and backslashes escaped as \\xHH and\n"
    "\\\\). On a terminal the texts are coloured and progress updates one line;\n"
    "NO_COLOR or TERM=dumb turn colour off. Elsewhere a status text is printed\n"
    "only when it differs from the one before. Standard error says where the\n"
    "serial number came from and why a run could not go on.\n"
    "\n"
    "SIGINT, SIGTERM or SIGHUP (Ctrl+C or closing the console on Windows) stop\n"
    "the cycle at the next instruction boundary, as a failed cycle ends (port\n"
    "closed), with \"! Interrupted.\" as the last line; a second one ends at once.\n"
    "\n"
    "Exit status, the first that applies: 128 + the signal's number when\n"
    "interrupted (130 for the Windows console events); 2 no cycle could run\n"
    "(bad usage, bad ORVALO_SIM, the firmware file, a journal that cannot be\n"
    "opened, a station in use); 1 the cycle failed, or its output or journal\n"
    "line could not be written; 4 completed, but the serial number did not come\n"
    "from the device\n"
    "and the journal shows it already issued; 3 --strict-serial and the serial\n"
    "number did not come from the device; 0 \"Programming Completed\n"
    "Successfully.\".\n"
    "\n"
    "Without --station the stored serial number is shared with the dialog program\n"
    "(settings: Kestrune/orvalo-programmer.INI, section Device).\n"
    "\n"
    "Environment:\n"
    "  ORVALO_COM1, ORVALO_COM2  device paths for COM1 and COM2\n"
    "                            (default /dev/ttyS0 and /dev/ttyS1)\n"
    "  ORVALO_SIM                run against the simulated device instead, a comma-\n"
    "                            separated list of items, e.g.\n"
    "                            ORVALO_SIM=time=virtual,serial=AB12 or\n"
    "                            ORVALO_SIM=flash=$HOME/device.bin,port=COM2\n"
    "    port=COM1|COM2    where the cable is (COM1)\n"
    "    absent=COMn       that port does not exist (may be given twice)\n"
    "    nodevice          the ports exist, nothing answers\n"
    "    flash=PATH        the device's flash, 8192 bytes, kept between runs\n"
    "                      (EEPROM and lock bits beside it: PATH.eeprom, PATH.lock)\n"
    "    serial=TEXT       a new device arrives with firmware and this serial number\n"
    "    time=virtual|real simulated time (instant) or real time (real)\n"
    "    slip=N            0-31 clock pulses lost after every reset\n"
    "    busy=MS|MIN-MAX   a write's busy time in ms (4), drawn per write from seed=N\n"
    "    signature=HHHHHH  the signature bytes (1E9301)\n"
    "    failwrite=ADDR    writes to this hex byte address answer wrongly\n"
    "    badread=ADDR      reads of this hex byte address return a wrong value\n"
    "    vanish=N          the device is gone after N instruction frames (0: from the start)\n"
    "    interrupt=N       the process is interrupted after N instruction frames\n"
    "    refuse=COMn       that port refuses its settings once\n"
    "    lockread=HH       what a locked chip returns for reads (00)\n"
    "    silent            the firmware never reports its serial number\n"
    "    request, framelen=L, truncate=K, noise=HEX, vanishreport\n"
    "                      script the serial-number report (see README)\n"
    "    holdwait=MS       the driver ends a cancelled break wait MS ms late (0)\n"
    "    ftdi[=US]         both ports are USB adapters whose chip clocks the lines,\n"
    "                      US microseconds per USB round trip (1000)\n"
    "    unplug=N          with ftdi: the chip is unplugged at its Nth call\n"
    "  Each item at most once, except absent, refuse, failwrite and badread;\n"
    "  nothing is trimmed. A set but empty ORVALO_SIM is an error. Whenever the\n"
    "  simulator is on, a line on standard error says so.\n";

}  // namespace

int main(int argc, char** argv) {
  plat::OpenStandardStreams();
  CliOptions options;
  LineOptions line;
  std::string usageError;
  if (!ParseOptions(argc, argv, &options, &line, &usageError)) {
    std::fprintf(stderr, "orvalo-programmer-cli: %s\n\n%s", usageError.c_str(), kUsage);
    return kExitNoCycle;
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    std::fputs("\n", stdout);
    std::fputs(kLineOptionsUsage, stdout);
    return kExitCompleted;
  }
  if (options.version) {
    std::printf("orvalo-programmer-cli %s\n", ORVALO_VERSION);
    return kExitCompleted;
  }

  // Production line: a report only, or a journal that must open before any
  // port is touched.
  if (!line.journalReport.empty()) return PrintJournalReport(line.journalReport, stdout, stderr);
  std::string path = options.firmwareGiven ? options.firmware : DefaultFirmwareName();

  plat::InstallInterruptHandlers();
  std::string simError;
  int simulator = sim::InstallFromEnvironment(&simError);
  if (simulator == sim::kSimBadConfig) {
    std::fprintf(stderr, "%s\n", EscapeForOutput(simError).c_str());
    return kExitNoCycle;
  }
  if (simulator == sim::kSimOn) std::fprintf(stderr, "%s\n", sim::kSimulatorOnNotice);
  RunJournal journal;
  if (!line.journal.empty()) {
    std::string why;
    if (plat::IsSameFile(line.journal, path)) why = "it is the firmware file";
    if (!why.empty() || !journal.Open(line.journal, &why)) {
      std::fprintf(stderr, "orvalo-programmer-cli: cannot open the journal %s: %s\n",
                   EscapeForOutput(line.journal).c_str(), why.c_str());
      sim::Uninstall();
      return kExitNoCycle;
    }
  }
  SetFastMode(line.fast);
  if (line.lineOperations) plat::AllowClockedLines(false);
  // The dialog program's settings, so that both share the stored serial
  // number; a station has its own, held by one cycle at a time.
  SetProfileName(StationApplicationKey(line.station).c_str());
  std::string holder;
  if (BeginProgrammerProcess(&holder) == plat::HoldResult::kBusy) {
    std::fprintf(stderr, "orvalo-programmer-cli: station %s is in use by another cycle%s%s%s\n",
                 line.station.empty() ? "(the dialog program's)" : line.station.c_str(),
                 holder.empty() ? "" : " (process ", holder.c_str(), holder.empty() ? "" : ")");
    EndProgrammerProcess();
    sim::Uninstall();
    return kExitNoCycle;
  }

  ConsoleDialog console(stdout, ConsoleStyleFor(plat::StdoutIsTerminal(), std::getenv("NO_COLOR"), std::getenv("TERM")),
                        options.verify);
  JournalingDialog dialog(&console);
  journal.Begin(line.station, path, options.verify, line.fast);
  RunOutcome outcome;
  CycleReport report;
  FirmwareCheck check;
  if (!LocateFirmwareFile(&dialog, path.c_str(), &check)) {
    ReportFirmwareProblem(stderr, path, check);
    outcome.noCycle = true;
  } else {
    journal.DigestFirmware(g_hFirmware.get());
    if (check.empty) ReportEmptyImage(stderr, path);
    if (!StopRequested()) {
      LinkTimingNote linkNote(stderr);
      OnStart(&dialog, &linkNote);
      JoinCycleThread();
    }
    report = LastCycleReport();
    if (report.end == CycleEnd::kFirmwareUnusable) {
      ReportFirmwareProblem(stderr, path, report.firmware);
      outcome.noCycle = true;
    }
    ReportPortProbes(stderr, report);
    ReportSerialStageEnd(stderr, report.end);
    if (report.end == CycleEnd::kNotStarted && !StopRequested()) ReportNotStarted(stderr, report.notStarted);
    outcome.failed = LastCycleOutcome() != CycleOutcome::kSucceeded;
    outcome.serialNotFromDevice = options.strictSerial && report.serialSource != SerialSource::kDevice;
  }

  // What the device holds now is recorded below; a second signal must not
  // cut that short. A signal that came once the serial number record was
  // begun stopped nothing: the device is complete and counted as such.
  plat::HoldInterrupts();
  bool completed = LastCycleOutcome() == CycleOutcome::kSucceeded;
  outcome.interruptStatus = completed ? 0 : plat::InterruptStatus();
  if (completed && plat::InterruptStatus() != 0)
    std::fprintf(stderr, "orvalo-programmer-cli: interrupted too late to stop: the device was completed\n");
  if (outcome.interruptStatus != 0) console.ErrorNote("Interrupted.");
  console.Finish();
  ReportOperatorNotes(stderr);
  if (console.WriteFailed()) {
    ReportOutputFailed(stderr, console.WriteError());
    outcome.failed = true;
  }
  int status = journal.Finish(dialog, ExitStatus(outcome), outcome.interruptStatus != 0,
                              report.end == CycleEnd::kCompleted, stderr);
  // Only now is the exit status final: the journal may have raised it to 4.
  ReportSerialSource(stderr, report.serialSource, status);
  EndProgrammerProcess();
  sim::Uninstall();
  plat::InterruptHandled();
  return status;
}
