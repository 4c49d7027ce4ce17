// orvalo-programmer-cli: one programming cycle, headless, for production lines
// and scripts.
#include <chrono>
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
#include "platform/output_writer.h"
#include "sim/sim.h"
#include "state/shared_state.h"
#include "orvalo_version.h"
#include "orvalo_product.h"

namespace {

const char kUsage[] =
    "Usage: " ORVALO_RUNNER_NAME " [--verify] [--strict-serial] [--port NAME]... [-v|-q]\n"
    "                             [--fast] [--line-operations] [--station NAME] [--journal FILE]\n"
    "                             [--] [FIRMWARE]\n"
    "       " ORVALO_RUNNER_NAME " --journal-report FILE\n"
    "       " ORVALO_RUNNER_NAME " --help | --version\n"
    "\n"
    "Runs one programming cycle: finds the device on COM1 or COM2 (or on the ports\n"
    "--port names), reads its serial number, erases the chip, writes the Intel-HEX\n"
    "image FIRMWARE (default: firmware.hex beside this program on Windows; on Linux\n"
    "the first in $XDG_DATA_HOME/" ORVALO_DIALOG_NAME ", the $XDG_DATA_DIRS folders, then\n"
    "beside it), verifies it with --verify, writes the serial number back, locks\n"
    "the chip and lets it run. There is no fall-back: a FIRMWARE that cannot be\n"
    "opened or is not a usable image ends the run before any device is touched;\n"
    "standard error then says which line is wrong and why. The file is read and\n"
    "checked again before the cycle opens any port.\n"
    "\n"
    "Options:\n"
    "  --verify         read every byte back after programming\n"
    "  --strict-serial  exit status 3 when the serial number written did not come\n"
    "                   from the device (the station's stored value or the factory\n"
    "                   default was used); the cycle itself is unchanged\n"
    "  --port NAME      probe this port instead of COM1 and COM2; repeat it to\n"
    "                   probe several, in the order given. NAME is COM1 to COM256\n"
    "                   or, on Linux, a device path such as /dev/ttyUSB0\n"
    "  -v               more on standard error: the firmware file, every port\n"
    "                   probed and what it answered, the part's signature and\n"
    "                   the cycle's duration\n"
    "  -q               less on standard error: only what explains a failure or\n"
    "                   an exit status other than 0, and the warnings about the\n"
    "                   device (not the serial number's origin when it came from\n"
    "                   the device, the ports passed over, the timing note)\n"
    "  --               ends the options: a FIRMWARE may then start with '-'\n"
    "  --version, -V    print the version and exit\n"
    "  --help, -h       this text\n"
    "  An option's value may also follow it after '=' (--journal=FILE).\n"
    "\n"
    "Output: each status text on a line of its own; texts shown in the error colour\n"
    "start with \"! \"; \"Serial Number: TEXT\" when the serial number is known\n"
    "(control characters, bytes above 0x7E and backslashes escaped as \\xHH and\n"
    "\\\\). On a terminal the texts are coloured and progress updates one line;\n"
    "NO_COLOR or TERM=dumb turn colour off. Elsewhere a status text is printed\n"
    "only when it differs from the one before, and progress at the start of each\n"
    "pass, every 10 % and the last percentage reached. Standard error says where\n"
    "the serial number came from and why a run could not go on.\n"
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
    "(settings: " ORVALO_COMPANY "/" ORVALO_DIALOG_NAME ".INI, section Device).\n"
    "\n"
    "Environment:\n"
    "  ORVALO_COM1, ORVALO_COM2  device paths for COM1 and COM2 (and so on, for\n"
    "                            any COMn; default /dev/ttyS0, /dev/ttyS1, ...)\n"
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
    "                      script the serial-number report (see the operator's guide)\n"
    "    holdwait=MS       the driver ends a cancelled break wait MS ms late (0)\n"
    "    ftdi[=US]         both ports are USB adapters whose chip clocks the lines,\n"
    "                      US microseconds per USB round trip (1000)\n"
    "    unplug=N          with ftdi: the chip is unplugged at its Nth call\n"
    "  Each item at most once, except absent, refuse, failwrite and badread;\n"
    "  nothing is trimmed. A set but empty ORVALO_SIM is an error. Whenever the\n"
    "  simulator is on, a line on standard error says so.\n";

// Where a verbose run says what it found.
void ReportVerbose(std::FILE* err, const std::string& firmware, const CycleReport& report, double seconds) {
  std::fprintf(err, ORVALO_RUNNER_NAME ": firmware %s\n", EscapeForOutput(firmware).c_str());
  for (const PortProbe& probe : report.ports) {
    const char* what = "not tried";
    if (probe.result == ProbeResult::kAnswered) what = "the device answered";
    if (probe.result == ProbeResult::kNoAnswer) what = "opened, no device answered";
    if (probe.result == ProbeResult::kNotOpened) what = "not opened";
    if (probe.result == ProbeResult::kSettingsRefused) what = "opened, settings refused";
    std::fprintf(err, ORVALO_RUNNER_NAME ": port %s: %s\n", EscapeForOutput(probe.name).c_str(), what);
  }
  if (report.part != PartCheck::kNotRead)
    std::fprintf(err, ORVALO_RUNNER_NAME ": the part's signature: %02X %02X %02X\n", report.signature[0],
                 report.signature[1], report.signature[2]);
  std::fprintf(err, ORVALO_RUNNER_NAME ": the run took %.1f s\n", seconds);
}

// How long a reader that keeps up needs to take the last lines, and how long
// one is given after an interrupt.
constexpr int kOutputMomentMs = 1000;
constexpr int kOutputAfterInterruptMs = 500;

// Waits for standard output's reader: at most limitMs (0: no limit), and at
// most kOutputAfterInterruptMs once interrupted. False when lines are left.
bool OutputDrained(plat::OutputWriter* output, int limitMs) {
  auto start = std::chrono::steady_clock::now();
  return output->Drain([&] {
    auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    if (limitMs > 0 && waited.count() >= limitMs) return true;
    return plat::InterruptStatus() != 0 && waited.count() >= kOutputAfterInterruptMs;
  });
}

}  // namespace

int main(int argc, char** argv) {
  plat::OpenStandardStreams();
  CliOptions options;
  LineOptions line;
  std::string usageError;
  if (!ParseOptions(argc, argv, &options, &line, &usageError)) {
    std::fprintf(stderr, ORVALO_RUNNER_NAME ": %s\nTry '" ORVALO_RUNNER_NAME " --help'.\n",
                 EscapeForOutput(usageError).c_str());
    return kExitNoCycle;
  }
  PortList ports = options.ports.empty() ? DefaultProbePorts() : options.ports;
  if (options.help) {
    std::fputs(kUsage, stdout);
    std::fputs("\n", stdout);
    std::fputs(kLineOptionsUsage, stdout);
    return kExitCompleted;
  }
  if (options.version) {
    std::printf(ORVALO_RUNNER_NAME " %s\n", ORVALO_VERSION);
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
  auto started = std::chrono::steady_clock::now();
  RunJournal journal;
  if (!line.journal.empty()) {
    std::string why;
    if (plat::IsSameFile(line.journal, path)) why = "it is the firmware file";
    if (!why.empty() || !journal.Open(line.journal, &why)) {
      std::fprintf(stderr, ORVALO_RUNNER_NAME ": cannot open the journal %s: %s\n",
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
    std::fprintf(stderr, ORVALO_RUNNER_NAME ": station %s is in use by another cycle%s%s%s\n",
                 line.station.empty() ? "(the dialog program's)" : line.station.c_str(),
                 holder.empty() ? "" : " (process ", holder.c_str(), holder.empty() ? "" : ")");
    EndProgrammerProcess();
    sim::Uninstall();
    return kExitNoCycle;
  }

  ConsoleDialog console(stdout, ConsoleStyleFor(plat::StdoutIsTerminal(), std::getenv("NO_COLOR"), std::getenv("TERM")),
                        options.verify);
  // The cycle keeps its timing and its stop whatever the operator's reader
  // does; a reader that is gone stops the cycle as before.
  plat::OutputWriter output(stdout, [] { RequestStop(); });
  console.WriteThrough(&output);
  JournalingDialog dialog(&console);
  // The device gets its number only once the journal counts it as issued.
  dialog.OnSerialShown([&journal](const std::string& serial) {
    if (!journal.Issuing(serial, stderr)) RequestStop();
  });
  journal.Begin(line.station, path, options.verify, line.fast);
  RunOutcome outcome;
  CycleReport report;
  FirmwareCheck check;
  bool located = LocateFirmwareFile(&dialog, path.c_str(), &check);
  if (!located) {
    ReportFirmwareProblem(stderr, path, check);
    outcome.noCycle = true;
  } else {
    journal.DigestFirmware(g_hFirmware.get());
    if (check.empty) ReportEmptyImage(stderr, path);
    if (!StopRequested()) {
      LinkTimingNote linkNote(stderr);
      OnStart(&dialog, &linkNote, ports);
      JoinCycleThread();
    }
    report = LastCycleReport();
    if (report.end == CycleEnd::kFirmwareUnusable) {
      ReportFirmwareProblem(stderr, path, report.firmware);
      outcome.noCycle = true;
    }
    outcome.failed = LastCycleOutcome() != CycleOutcome::kSucceeded;
    outcome.serialNotFromDevice = options.strictSerial && report.serialSource != SerialSource::kDevice;
  }

  // What the device holds now is recorded below; a second signal must not
  // cut that short. A signal that came once the serial number record was
  // begun stopped nothing: the device is complete and counted as such.
  plat::HoldInterrupts();
  bool completed = LastCycleOutcome() == CycleOutcome::kSucceeded;
  outcome.interruptStatus = completed ? 0 : plat::InterruptStatus();
  bool tooLate = completed && plat::InterruptStatus() != 0;
  if (outcome.interruptStatus != 0) console.ErrorNote("Interrupted.");
  console.Finish();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  journal.Probed(ports, report);
  // A moment for the reader, so that a final line it refuses still counts.
  OutputDrained(&output, kOutputMomentMs);
  bool outputFailed = console.WriteFailed();
  outcome.failed = outcome.failed || outputFailed;
  int status = journal.Finish(dialog, report, ExitStatus(outcome), outcome.interruptStatus != 0, stderr);
  // The device and the journal are settled before anything more is said on
  // standard error, which may be a pipe nobody reads: from here a second
  // signal ends the runner at once with this status.
  plat::SettleInterrupts(status);
  if (located) {
    // With -q the ports passed over before the device answered go unsaid.
    if (!options.quiet || report.port.empty()) ReportPortProbes(stderr, report);
    ReportSerialStageEnd(stderr, report.end);
    if (report.end == CycleEnd::kNotStarted && !StopRequested()) ReportNotStarted(stderr, report.notStarted);
  }
  if (tooLate) std::fprintf(stderr, ORVALO_RUNNER_NAME ": interrupted too late to stop: the device was completed\n");
  if (!options.quiet) ReportOperatorNotes(stderr);
  if (options.verbose) ReportVerbose(stderr, path, report, seconds);
  if (outputFailed) ReportOutputFailed(stderr, console.WriteError());
  // Only now is the exit status final: the journal may have raised it to 4.
  if (!options.quiet || report.serialSource != SerialSource::kDevice)
    ReportSerialSource(stderr, report.serialSource, status);
  EndProgrammerProcess();
  sim::Uninstall();
  // The device and the journal are settled: only the operator's reader is
  // waited for now, and not past an interrupt.
  bool drained = OutputDrained(&output, 0);
  plat::InterruptHandled(status);
  if (!drained) {
    ReportOutputNotRead(stderr);
    plat::OutputWriter::ExitWithoutOutput(status);
  }
  return status;
}
