// orvalo-programmer-cli: one programming cycle, headless, for production lines
// and scripts.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/firmware_location.h"
#include "app/process_setup.h"
#include "app/settings_store.h"
#include "cli/console_dialog.h"
#include "cli/journal_run.h"
#include "cli/line_options.h"
#include "cli/operator_notes.h"
#include "cli/station.h"
#include "cycle/programming_cycle.h"
#include "isp/fast_mode.h"
#include "platform/file.h"
#include "sim/sim.h"
#include "state/shared_state.h"
#include "orvalo_version.h"

namespace {

const char kUsage[] =
    "Usage: orvalo-programmer-cli [--verify] [--fast] [--station NAME] [--journal FILE]\n"
    "                             [FIRMWARE]\n"
    "       orvalo-programmer-cli --journal-report FILE\n"
    "       orvalo-programmer-cli --help | --version\n"
    "\n"
    "Runs one programming cycle: finds the device on COM1 or COM2, reads its serial\n"
    "number, erases the chip, writes the Intel-HEX image FIRMWARE (default:\n"
    "firmware.hex beside this program), verifies it with --verify, writes the serial\n"
    "number back, locks the chip and lets it run. There is no fall-back: a FIRMWARE\n"
    "that cannot be opened ends the run before any device is touched.\n"
    "\n"
    "Output: each status text on a line of its own; texts shown in the error colour\n"
    "start with \"! \"; \"Serial Number: TEXT\" when the serial number is known.\n"
    "On a terminal the texts are coloured and progress updates one line.\n"
    "\n"
    "Options:\n"
    "  --verify     read the image back after writing it and compare\n"
    "  --version    print the version and exit\n"
    "  -h, --help   print this help and exit\n"
    "\n"
    "Exit status: 0 \"Programming Completed Successfully.\", 1 the cycle failed\n"
    "(or its journal line could not be written), 2 no cycle could run (firmware\n"
    "file, journal, bad ORVALO_SIM, bad usage), 4 completed, but the serial number\n"
    "was already issued (--journal). When several apply: 2, 1, 4, 0.\n"
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
    "    refuse=COMn       that port refuses its settings once\n"
    "    lockread=HH       what a locked chip returns for reads (00)\n"
    "    silent            the firmware never reports its serial number\n"
    "    request, framelen=L, truncate=K, noise=HEX, vanishreport\n"
    "                      script the serial-number report (see README)\n"
    "  Each item at most once, except absent, refuse, failwrite and badread;\n"
    "  nothing is trimmed. A set but empty ORVALO_SIM is an error. Whenever the\n"
    "  simulator is on, a line on standard error says so.\n";

}  // namespace

int main(int argc, char** argv) {
  bool verify = false;
  const char* firmware = nullptr;
  LineOptions line;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      std::fputs("\n", stdout);
      std::fputs(kLineOptionsUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("orvalo-programmer-cli %s\n", ORVALO_VERSION);
      return 0;
    }
    std::string why;
    int taken = TakeLineOption(argc, argv, &i, &line, &why);
    if (taken < 0) {
      std::fprintf(stderr, "orvalo-programmer-cli: %s\n\n%s", why.c_str(), kUsage);
      return 2;
    }
    if (taken > 0) continue;
    if (std::strcmp(argv[i], "--verify") == 0) {
      verify = true;
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      std::fprintf(stderr, "orvalo-programmer-cli: unknown option %s\n\n%s", argv[i], kUsage);
      return 2;
    } else if (firmware) {
      std::fprintf(stderr, "orvalo-programmer-cli: only one FIRMWARE file\n\n%s", kUsage);
      return 2;
    } else {
      firmware = argv[i];
    }
  }

  // Production line: a report only, or a journal that must open before any
  // port is touched.
  if (!line.journalReport.empty()) return PrintJournalReport(line.journalReport, stdout, stderr);
  RunJournal journal;
  if (!line.journal.empty()) {
    std::string why;
    if (!journal.Open(line.journal, &why)) {
      std::fprintf(stderr, "orvalo-programmer-cli: cannot open the journal %s: %s\n", line.journal.c_str(),
                   why.c_str());
      return 2;
    }
  }
  SetFastMode(line.fast);

  std::string simError;
  int simulator = sim::InstallFromEnvironment(&simError);
  if (simulator == sim::kSimBadConfig) {
    std::fprintf(stderr, "%s\n", simError.c_str());
    return 2;
  }
  if (simulator == sim::kSimOn) std::fprintf(stderr, "%s\n", sim::kSimulatorOnNotice);
  // The dialog program's settings, so that both share the stored serial
  // number; a station has its own.
  SetProfileName(StationApplicationKey(line.station).c_str());
  BeginProgrammerProcess();

  ConsoleDialog console(stdout, plat::StdoutIsTerminal(), verify);
  JournalingDialog dialog(&console);
  journal.Begin(line.station, firmware ? std::string(firmware) : DefaultFirmwareName(), verify, line.fast);
  if (!LocateFirmwareFile(&dialog, firmware)) {
    int status = journal.Finish(dialog, 2, false, stderr);
    EndProgrammerProcess();
    return status;
  }
  journal.DigestFirmware(g_hFirmware.get());

  OnStart(&dialog);
  JoinCycleThread();
  console.Finish();
  ReportOperatorNotes(stderr);
  bool success = LastCycleOutcome() == CycleOutcome::kSucceeded;
  int status = journal.Finish(dialog, success ? 0 : 1, false, stderr);
  EndProgrammerProcess();
  sim::Uninstall();
  return status;
}
