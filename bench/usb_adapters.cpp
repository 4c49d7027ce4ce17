// A full 8 KiB image with Verify on the simulated device and the virtual
// clock, with a modelled USB round trip of 1 ms: through an adapter whose
// every line operation is a round trip (a few hundred bytes measured, the
// image extrapolated), through an adapter whose chip clocks the lines (the
// default cycle and --fast), and through a UART on the bus for reference.
// Prints the table the operator's guide shows under "Real hardware".
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/process_setup.h"
#include "app/settings_store.h"
#include "cycle/programming_cycle.h"
#include "image/firmware_file.h"
#include "isp/fast_mode.h"
#include "platform/clock.h"
#include "platform/memory_file.h"
#include "sim/sim.h"
#include "bench_cycle.h"

namespace {

constexpr int64_t kRoundTripUs = 1000;
constexpr int kImageEnd = 0x1FE8;  // everything below the serial-number record

struct Figures {
  std::string final;
  double seconds = 0;
  long chipCalls = 0;
};

Figures RunCycle(const std::string& sim, int imageEnd, bool fast) {
  Figures f;
  std::string err = sim::Install("time=virtual,serial=BENCH00000000000000001," + sim);
  if (!err.empty()) {
    f.final = err;
    return f;
  }
  int64_t t0 = plat::NowUs();
  f.final = RunBenchCycle(fast, BenchImage(imageEnd));
  f.seconds = double(plat::NowUs() - t0) / 1e6;
  f.chipCalls = sim::ChipCalls();
  sim::Uninstall();
  return f;
}

}  // namespace

int main() {
  if (!BeginBench("orvalo-bench-usb")) return 1;

  const char ok[] = "Programming Completed Successfully.";
  bool allOk = true;
  auto row = [&](const char* what, const Figures& f, double seconds, double uart) {
    allOk = allOk && f.final == ok;
    std::printf("| %-52s | %8.1f s | %5.2f x |%s\n", what, seconds, uart > 0 ? seconds / uart : 1.0,
                f.final == ok ? "" : (" " + f.final).c_str());
  };
  std::string rtt = "ftdi=" + std::to_string(kRoundTripUs), ops = "lineop=" + std::to_string(kRoundTripUs);
  Figures uart = RunCycle("", kImageEnd, false);
  Figures uartFast = RunCycle("", kImageEnd, true);
  Figures chip = RunCycle(rtt, kImageEnd, false);
  Figures chipFast = RunCycle(rtt, kImageEnd, true);
  // One round trip per operation: two images a few hundred bytes apart give
  // the cost of a byte and of everything else.
  const int small = 64, large = 384;
  Figures opsSmall = RunCycle(ops, small, false), opsLarge = RunCycle(ops, large, false);
  Figures opsFastSmall = RunCycle(ops, small, true), opsFastLarge = RunCycle(ops, large, true);
  auto extrapolate = [&](const Figures& a, const Figures& b) {
    double perByte = (b.seconds - a.seconds) / (large - small);
    return a.seconds + perByte * (kImageEnd - small);
  };
  std::printf("8 KiB image (0x0000-0x1FE7) with Verify, USB round trip %lld us, virtual clock\n\n",
              (long long)kRoundTripUs);
  std::printf("| %-52s | %10s | %7s |\n", "path", "time", "/ UART");
  std::printf("|%s|%s|%s|\n", std::string(54, '-').c_str(), std::string(12, '-').c_str(), std::string(9, '-').c_str());
  row("UART on the bus (reference)", uart, uart.seconds, uart.seconds);
  row("UART on the bus, --fast", uartFast, uartFast.seconds, uart.seconds);
  row("line operations, 1 round trip each (extrapolated)", opsLarge, extrapolate(opsSmall, opsLarge), uart.seconds);
  row("line operations, --fast (extrapolated)", opsFastLarge, extrapolate(opsFastSmall, opsFastLarge), uart.seconds);
  row("chip clocks the lines, default cycle", chip, chip.seconds, uart.seconds);
  row("chip clocks the lines, --fast", chipFast, chipFast.seconds, uart.seconds);
  std::printf("\nchip calls: default %ld, --fast %ld\n", chip.chipCalls, chipFast.chipCalls);
  EndProgrammerProcess();
  return allOk ? 0 : 1;
}
