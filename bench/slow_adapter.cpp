// The line-operation link through a slow adapter: every line operation costs
// 1 ms (ORVALO_SIM's lineop=1000), as on a USB-serial adapter that has no
// clocked mode, on the virtual clock. Cycles with Verify of two image sizes
// give the time per byte; a full image (0x0000..0x1FE7, no 0xFF byte) is
// extrapolated from them, for the default cycle and for --fast, beside the
// runner's own estimate made before the erase.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/process_setup.h"
#include "app/settings_store.h"
#include "cycle/programming_cycle.h"
#include "isp/fast_mode.h"
#include "platform/clock.h"
#include "platform/memory_file.h"
#include "sim/sim.h"
#include "bench_cycle.h"

namespace {

constexpr int kFullImage = 0x1FE8;

struct Run {
  std::string final;
  double seconds = 0, estimate = 0;
  uint64_t lineOps = 0;
};

Run Cycle(bool fast, int bytes) {
  sim::TheDevice()->ClearRecords();
  int64_t t0 = plat::NowUs();
  Run r;
  r.final = RunBenchCycle(fast, BenchImage(bytes));
  r.seconds = double(plat::NowUs() - t0) / 1e6;
  r.estimate = double(LastCycleReport().link.cycleUs) / 1e6;
  r.lineOps = sim::TheDevice()->Counts().total();
  return r;
}

}  // namespace

int main() {
  if (!BeginBench("orvalo-bench")) return 1;
  std::string err = sim::Install("time=virtual,lineop=1000,serial=BENCH00000000000000001");
  if (!err.empty()) {
    std::fprintf(stderr, "%s\n", err.c_str());
    return 1;
  }
  const int small = 32, large = 320;
  bool ok = true;
  double perByte[2] = {0, 0};
  std::printf("1 ms a line operation, Verify on; %d and %d bytes measured, %d extrapolated\n", small, large, kFullImage);
  std::printf("%-8s %12s %12s %14s %14s %16s\n", "cycle", "s per byte", "ops per byte", "full image", "(minutes)",
              "its estimate");
  for (bool fast : {false, true}) {
    Run a = Cycle(fast, small), b = Cycle(fast, large), full = b;
    ok = ok && a.final == "Programming Completed Successfully." && b.final == a.final;
    double slope = (b.seconds - a.seconds) / (large - small);
    double ops = double(b.lineOps - a.lineOps) / (large - small);
    double whole = b.seconds + slope * (kFullImage - large);
    // The estimate for the full image, scaled the same way from the two made.
    double guess = b.estimate + (b.estimate - a.estimate) / (large - small) * (kFullImage - large);
    perByte[fast] = slope;
    std::printf("%-8s %12.4f %12.1f %12.0f s %14.1f %14.0f s\n", fast ? "--fast" : "default", slope, ops, whole,
                whole / 60, guess);
  }
  std::printf("fast/default per byte: %.3f\n", perByte[1] / perByte[0]);
  EndProgrammerProcess();
  sim::Uninstall();
  return ok ? 0 : 1;
}
