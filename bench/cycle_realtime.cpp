// A full programming cycle with Verify, in real time, on the simulated device:
// an image filling 0x0000..0x1FE7 with no 0xFF byte, in 16-byte records.
// Prints the wall time against the sum of the pauses the cycle asked for
// (the floor no implementation can go below) and where the difference goes.
#include <algorithm>
#include <chrono>
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
#include "platform/memory_file.h"
#include "sim/sim.h"
#include "support/silent_dialog.h"

namespace {

class QuietDialog : public SilentDialog {
 public:
  QuietDialog() { verify = true; }
  void SetStatusText(const char* text) override { last = text; }
  std::string last;
};

std::vector<int64_t> g_one, g_six;

void Observe(unsigned ms, int64_t us) {
  if (ms == 1 && g_one.size() < g_one.capacity()) g_one.push_back(us);
  if (ms == 6 && g_six.size() < g_six.capacity()) g_six.push_back(us);
}

std::string Image() {
  std::string text;
  char buf[80];
  for (int a = 0; a < 0x1FE8; a += 16) {
    int n = std::min(16, 0x1FE8 - a);
    int sum = n + (a >> 8) + (a & 0xFF);
    std::snprintf(buf, sizeof buf, ":%02X%04X00", n, a);
    text += buf;
    for (int i = 0; i < n; ++i) {
      int b = (a + i) * 37 % 255;  // never 0xFF
      sum += b;
      std::snprintf(buf, sizeof buf, "%02X", b);
      text += buf;
    }
    std::snprintf(buf, sizeof buf, "%02X\r\n", (-sum) & 0xFF);
    text += buf;
  }
  return text + ":00000001FF\r\n";
}

void Percentiles(const char* name, std::vector<int64_t> v) {
  if (v.empty()) return;
  std::sort(v.begin(), v.end());
  std::printf("  %-9s n=%-6zu median %.3f ms   p99 %.3f ms   max %.3f ms\n", name, v.size(), v[v.size() / 2] / 1000.0,
              v[v.size() * 99 / 100] / 1000.0, v.back() / 1000.0);
}

}  // namespace

int main() {
  std::string dir = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/orvalo-bench";
  std::string mk = "mkdir -p '" + dir + "'";
  if (std::system(mk.c_str()) != 0) return 1;
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  std::string err = sim::Install("time=real,serial=BENCH00000000000000001");
  if (!err.empty()) {
    std::fprintf(stderr, "%s\n", err.c_str());
    return 1;
  }
  SetProfileName("orvalo-programmer.INI");
  BeginProgrammerProcess();
  std::string text = Image();
  g_recordCount = int32_t(std::count(text.begin(), text.end(), ':'));
  g_hFirmware.reset(new plat::MemoryFile(std::vector<uint8_t>(text.begin(), text.end())));

  g_one.reserve(20000);
  g_six.reserve(20000);
  plat::SetPauseObserver(Observe);
  plat::ResetClockStats();
  QuietDialog dialog;
  auto t0 = std::chrono::steady_clock::now();
  OnStart(&dialog);
  JoinCycleThread();
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  plat::SetPauseObserver(nullptr);
  plat::ClockStats s = plat::GetClockStats();
  EndProgrammerProcess();

  double floor = s.requestedPauseUs / 1e6;
  double overshoot = (double(s.actualPauseUs) - double(s.requestedPauseUs)) / 1e6;
  double yields = s.yieldUs / 1e6;
  double rest = wall - s.actualPauseUs / 1e6 - yields;
  std::printf("final text:        %s\n", dialog.last.c_str());
  std::printf("wall time:         %.3f s\n", wall);
  std::printf("pause floor:       %.3f s (%llu pauses)\n", floor, (unsigned long long)s.pauses);
  std::printf("ratio:             %.4f\n", wall / floor);
  std::printf("pause overshoot:   %.3f s\n", overshoot);
  std::printf("yields:            %.3f s (%llu zero-length yields)\n", yields, (unsigned long long)s.yields);
  std::printf("line ops + rest:   %.3f s (includes the serial-number wait)\n", rest);
  std::printf("pauses on the cycle thread:\n");
  Percentiles("Sleep(1)", g_one);
  Percentiles("Sleep(6)", g_six);
  sim::Uninstall();
  return LastCycleOutcome() == CycleOutcome::kSucceeded ? 0 : 1;
}
