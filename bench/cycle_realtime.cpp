// A full programming cycle with Verify, in real time, on the simulated device:
// an image filling 0x0000..0x1FE7 with no 0xFF byte, in 16-byte records.
// Prints the wall time against the sum of the pauses the cycle asked for
// (the floor no implementation can go below) and where the difference goes,
// how late the pauses end, then the same cycle in fast mode (data polling)
// against it, with the CPU time of each.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/process_setup.h"
#include "app/settings_store.h"
#include "cycle/programming_cycle.h"
#include "image/firmware_file.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "isp/fast_mode.h"
#include "platform/memory_file.h"
#include "sim/sim.h"
#include "bench_cycle.h"

namespace {

std::vector<int64_t> g_one, g_six, g_over;

// Runs on the cycle's and the listener's threads, never at once: the listener
// pauses only while the cycle thread waits for it. The vectors are reserved
// beforehand, so a push never reallocates.
void Observe(unsigned ms, int64_t us) {
  if (ms == 1 && g_one.size() < g_one.capacity()) g_one.push_back(us);
  if (ms == 6 && g_six.size() < g_six.capacity()) g_six.push_back(us);
  if (g_over.size() < g_over.capacity()) g_over.push_back(us - int64_t(ms) * 1000);
}

void Percentiles(const char* name, std::vector<int64_t> v) {
  if (v.empty()) return;
  std::sort(v.begin(), v.end());
  std::printf("  %-9s n=%-6zu median %.3f ms   p99 %.3f ms   max %.3f ms\n", name, v.size(), v[v.size() / 2] / 1000.0,
              v[v.size() * 99 / 100] / 1000.0, v.back() / 1000.0);
}

struct CycleFigures {
  std::string final;
  double wall = 0, cpu = 0;
  plat::ClockStats stats;
};

CycleFigures RunCycle(bool fast, const std::string& text) {
  plat::ResetClockStats();
  std::clock_t c0 = std::clock();
  auto t0 = std::chrono::steady_clock::now();
  CycleFigures f;
  f.final = RunBenchCycle(fast, text);
  f.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  f.cpu = double(std::clock() - c0) / CLOCKS_PER_SEC;
  f.stats = plat::GetClockStats();
  return f;
}

}  // namespace

int main() {
  if (!BeginBench("orvalo-bench")) return 1;
  std::string err = sim::Install("time=real,serial=BENCH00000000000000001");
  if (!err.empty()) {
    std::fprintf(stderr, "%s\n", err.c_str());
    return 1;
  }
  std::string text = BenchImage(0x1FE8);

  g_one.reserve(20000);
  g_six.reserve(20000);
  g_over.reserve(40000);
  plat::SetPauseObserver(Observe);
  CycleFigures def = RunCycle(false, text);
  plat::SetPauseObserver(nullptr);
  CycleFigures fast = RunCycle(true, text);
  EndProgrammerProcess();
  const plat::ClockStats& s = def.stats;
  double wall = def.wall;

  double floor = s.requestedPauseUs / 1e6;
  double overshoot = (double(s.actualPauseUs) - double(s.requestedPauseUs)) / 1e6;
  double yields = s.yieldUs / 1e6;
  double rest = wall - s.actualPauseUs / 1e6 - yields;
  std::printf("final text:        %s\n", def.final.c_str());
  std::printf("wall time:         %.3f s\n", wall);
  std::printf("pause floor:       %.3f s (%llu pauses)\n", floor, (unsigned long long)s.pauses);
  std::printf("ratio:             %.4f\n", wall / floor);
  std::printf("pause overshoot:   %.3f s\n", overshoot);
  std::printf("yields:            %.3f s (%llu zero-length yields)\n", yields, (unsigned long long)s.yields);
  std::printf("line ops + rest:   %.3f s (includes the serial-number wait)\n", rest);
  std::printf("pauses on the cycle thread:\n");
  Percentiles("Sleep(1)", g_one);
  Percentiles("Sleep(6)", g_six);
  std::sort(g_over.begin(), g_over.end());
  if (!g_over.empty())
    std::printf("pause overshoot:   median %lld us   p99 %lld us   max %lld us (n=%zu)\n",
                (long long)g_over[g_over.size() / 2], (long long)g_over[g_over.size() * 99 / 100],
                (long long)g_over.back(), g_over.size());
  std::printf("default CPU time:  %.3f s\n", def.cpu);
  std::printf("fast final text:   %s\n", fast.final.c_str());
  std::printf("fast wall time:    %.3f s (%llu pauses, %.3f s of them)\n", fast.wall,
              (unsigned long long)fast.stats.pauses, fast.stats.actualPauseUs / 1e6);
  std::printf("fast/default:      %.4f\n", fast.wall / wall);
  std::printf("fast CPU time:     %.3f s\n", fast.cpu);
  sim::Uninstall();
  const char* ok = "Programming Completed Successfully.";
  return def.final == ok && fast.final == ok ? 0 : 1;
}
