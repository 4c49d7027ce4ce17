// The Windows chip backend's own path: a full 8 KiB image with Verify through
// the backend itself and the test ftd2xx.dll, whose model of the chip maker's
// driver runs an emulated FT232R or FT231X with the simulated device on its
// cable, every USB round trip 1 ms on the virtual clock; a UART on the bus
// (the simulator) for reference. Built in the Windows build with the tests
// and run under Wine by scripts/bench-windows.sh.
#include <cstdio>
#include <string>

#include "app/process_setup.h"
#include "bench_cycle.h"
#include "platform/clock.h"
#include "sim/sim.h"
#include "support/d2xx_emulation.h"

int main() {
  if (!BeginBench("orvalo-bench-d2xx")) return 1;
  const char ok[] = "Programming Completed Successfully.", serial[] = "serial=BENCH00000000000000001";
  const std::string image = BenchImage(0x1FE8);
  bool allOk = true;

  std::string error = sim::Install(std::string("time=virtual,") + serial);
  if (!error.empty()) return std::fprintf(stderr, "%s\n", error.c_str()), 1;
  int64_t t0 = plat::NowUs();
  std::string final = RunBenchCycle(false, image);
  double uart = double(plat::NowUs() - t0) / 1e6;
  sim::Uninstall();
  allOk = final == ok;

  std::printf("8 KiB image (0x0000-0x1FE7) with Verify through the D2XX backend, USB round trip 1 ms, virtual clock\n\n");
  std::printf("| chip | cycle | time | / UART | FT_Write + FT_Read | USB requests |\n|---|---|---|---|---|---|\n");
  std::printf("| UART on the bus (reference) | default | %.1f s | 1.00 | | |%s\n", uart, final == ok ? "" : final.c_str());
  for (ChipModel model : {ChipModel::kFt232r, ChipModel::kFt231x}) {
    plat::UseVirtualClock(true);
    ChipBench bench;
    error = bench.Attach(serial, model, 1);
    if (!error.empty()) return std::fprintf(stderr, "%s\n", error.c_str()), 1;
    for (bool fast : {false, true}) {
      t0 = plat::NowUs();
      unsigned long transfers = bench.d2xx.Transfers(), calls = (unsigned long)bench.chip->UsbCalls();
      final = RunBenchCycle(fast, image);
      double seconds = double(plat::NowUs() - t0) / 1e6;
      allOk = allOk && final == ok;
      std::printf("| %s | %s | %.1f s | %.2f | %lu | %lu |%s\n", model == ChipModel::kFt232r ? "FT232R" : "FT231X",
                  fast ? "`--fast`" : "default", seconds, seconds / uart, bench.d2xx.Transfers() - transfers,
                  (unsigned long)bench.chip->UsbCalls() - calls, final == ok ? "" : final.c_str());
    }
    UnloadTestD2xx();
  }
  EndProgrammerProcess();
  return allOk ? 0 : 1;
}
