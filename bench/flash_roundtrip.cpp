// How long writing and reading back the whole 8 KiB takes on the virtual
// clock (simulated time) and in wall time.
#include <chrono>
#include <cstdio>
#include <vector>

#include "isp/instructions.h"
#include "isp/port.h"
#include "platform/clock.h"
#include "sim/sim.h"

int main() {
  if (!sim::Install("time=virtual").empty() || OpenPort("COM1") != 0 || EnterProgrammingMode() != 0) {
    std::fprintf(stderr, "simulated device not ready\n");
    return 1;
  }
  EraseChip();
  auto wall0 = std::chrono::steady_clock::now();
  int64_t t0 = plat::NowUs();
  for (int a = 0; a < 8192; ++a) WriteFlashByte(a, uint8_t(a * 13 + 1) == 0xFF ? 0 : uint8_t(a * 13 + 1));
  int64_t t1 = plat::NowUs();
  uint8_t b;
  for (int a = 0; a < 8192; ++a) ReadFlashByte(a, &b);
  int64_t t2 = plat::NowUs();
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  std::printf("write 8 KiB: %.3f s simulated\n", (t1 - t0) / 1e6);
  std::printf("read 8 KiB:  %.3f s simulated\n", (t2 - t1) / 1e6);
  std::printf("wall time for both: %.3f s\n", wall);
  ClosePort();
  sim::Uninstall();
  return 0;
}
