// orvalo-programmer-cli: one programming cycle, headless, for production lines
// and scripts.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/console_dialog.h"
#include "cli/diagnostics.h"
#include "cli/exit_status.h"
#include "cli/options.h"
#include "cycle/programming_cycle.h"
#include "state/shared_state.h"
#include "state/stop_request.h"
#include "image/firmware_file.h"
#include "platform/file.h"
#include "platform/interrupt.h"
#include "sim/sim.h"

namespace {

const char kUsage[] =
    "Usage: orvalo-programmer-cli [--verify] [--strict-serial] [--] [FIRMWARE]\n"
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
    "(bad usage, bad ORVALO_SIM, the firmware file); 1 the cycle failed, or its\n"
    "output could not be written; 3 --strict-serial and the serial number did\n"
    "not come from the device; 0 \"Programming Completed Successfully.\".\n"
    "\n"
    "The stored serial number is shared with the dialog program\n"
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
    "    serial=TEXT       a new device arrives with firmware and this serial number\n"
    "    time=virtual|real simulated time (instant) or real time (real)\n"
    "    slip=N            0-7 clock pulses lost after every reset\n"
    "    failwrite=ADDR    writes to this hex byte address answer wrongly\n"
    "    badread=ADDR      reads of this hex byte address return a wrong value\n"
    "    vanish=N          the device is gone after N instruction frames\n"
    "    refuse=COMn       that port refuses its settings once\n"
    "    lockread=HH       what a locked chip returns for reads (00)\n"
    "    silent            the firmware never reports its serial number\n"
    "    request, framelen=L, truncate=K, noise=HEX, vanishreport\n"
    "                      script the serial-number report (see README)\n";

}  // namespace

int main(int argc, char** argv) {
  CliOptions options;
  std::string usageError;
  if (!ParseOptions(argc, argv, &options, &usageError)) {
    std::fprintf(stderr, "orvalo-programmer-cli: %s\n\n%s", usageError.c_str(), kUsage);
    return kExitNoCycle;
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    return kExitCompleted;
  }

  plat::InstallInterruptHandlers();
  sim::InstallFromEnvironment();  // exits 2 on a bad ORVALO_SIM
  BeginProgrammerProcess("orvalo-programmer.INI");

  ConsoleDialog dialog(stdout, ConsoleStyleFor(plat::StdoutIsTerminal(), std::getenv("NO_COLOR"), std::getenv("TERM")),
                       options.verify);
  std::string path = options.firmwareGiven ? options.firmware : DefaultFirmwareName();
  RunOutcome outcome;
  FirmwareCheck check;
  g_hFirmware = OpenFirmwareFile(path.c_str(), &check);
  if (!g_hFirmware) {
    g_statusError = 1;
    dialog.SetStatusText("Firmware file access Failed.");
    ReportFirmwareProblem(stderr, path, check);
    outcome.noCycle = true;
  } else {
    if (check.empty) ReportEmptyImage(stderr, path);
    if (!StopRequested()) {
      OnStart(&dialog);
      JoinCycleThread();
    }
    CycleReport report = LastCycleReport();
    if (report.end == CycleEnd::kFirmwareUnusable) {
      ReportFirmwareProblem(stderr, path, report.firmware);
      outcome.noCycle = true;
    }
    if (report.end == CycleEnd::kNoDevice) ReportDeviceNotFound(stderr);
    if (report.end == CycleEnd::kNotStarted && !StopRequested()) ReportNotStarted(stderr, report.notStarted);
    ReportSerialSource(stderr, report.serialSource, options.strictSerial);
    outcome.failed = report.end != CycleEnd::kCompleted;
    outcome.serialNotFromDevice = options.strictSerial && report.serialSource != SerialSource::kDevice;
  }

  outcome.interruptStatus = plat::InterruptStatus();
  if (outcome.interruptStatus != 0) dialog.ErrorNote("Interrupted.");
  dialog.Finish();
  if (dialog.WriteFailed()) {
    ReportOutputFailed(stderr, dialog.WriteError());
    outcome.failed = true;
  }
  g_hFirmware.reset();
  EndProgrammerProcess();
  sim::Uninstall();
  plat::InterruptHandled();
  return ExitStatus(outcome);
}
